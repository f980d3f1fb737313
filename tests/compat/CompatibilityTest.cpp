// The unattended road on the three directories Quorvel is run against: the
// reference directory, a stock slapd with Debian's standard schemas and 389
// Directory Server, each with an ordinary account (a bind DN on the stock two).
#include <gtest/gtest.h>

#include "reliability/QuorvelRun.h"
#include "support/DirectoryUnderTest.h"
#include "support/FaultProxy.h"

namespace qv::test {
namespace {

using Pass = QuorvelRun;

class Compatibility : public DirectoryTest {
protected:
    // quorvel [options] on a profile for `target` (a DN of this directory, or a whole address).
    Pass run(const std::string& target, Role role = Role::Service, std::vector<std::string> options = {},
            const std::string& extra = "") {
        auto& d = directory();
        const std::string address = target.rfind("LDAP://", 0) == 0 ? target : d.adsPath(target);
        return runProfile(temp, "[General]\nTarget=" + address + "\nLoggingLevel=1\nField=" +
                                    d.layout().definitionField + "\n" + d.authentication(role) + extra,
                          {}, std::move(options));
    }
    std::string filter(const std::string& department) const {
        const auto& o = directory().layout();
        return std::string("(&(objectClass=") + o.personClass + ")(" + o.department + "=" + department + "))";
    }
    std::set<std::string> people(const std::string& department) const {
        return directory().tool(Role::Service).dns(directory().layout().peopleBase, filter(department));
    }
    // A DL in `container` whose query finds `department`, holding `members`.
    std::string dl(const std::string& container, const std::string& alias, const std::string& department,
                   const std::set<std::string>& members, const std::string& base = "") {
        auto& d = directory();
        return d.addDl(container, alias, d.definition(base.empty() ? d.layout().peopleBase : base, filter(department)),
                       {members.begin(), members.end()});
    }
    std::set<std::string> members(const std::string& dl) const { return directory().tool().members(dl); }
    std::string stale() const { return "cn=gone," + std::string(directory().layout().peopleBase); }

    TempDir temp;
};

// A container pass with a broken query, its preview applied with ldapmodify
// against the real pass, an emptied DL, and a second pass over what it left.
TEST_P(Compatibility, ContainerPassPreviewAndEmptiedDl) {
    auto& d = directory();
    const auto& o = d.layout();
    const auto sales = people("Sales");
    const std::string box = d.addContainer(o.dlContainer, "compat-pass");
    const std::string good = dl(box, "qvl-c-sales", "Sales", {*sales.begin(), stale()});
    const std::string broken = dl(box, "qvl-c-broken", "Sales", {*sales.begin()},
                                  std::string(o.containerRdn) + "=Nowhere," + o.organisation);
    const std::string nobody = dl(box, "qvl-c-nobody", "Nobody", {*sales.begin(), stale()});
    auto lists = [&] { return std::vector{members(good), members(broken), members(nobody)}; };
    const auto before = lists();

    Pass preview = run(box, Role::Service, {"--dry-run"});
    EXPECT_EQ(preview.command.exitCode, 1) << preview.command.err;
    d.tool().modify(preview.command.out);
    const auto applied = lists();
    for (const auto& [dn, held] : {std::pair{good, before[0]}, {broken, before[1]}, {nobody, before[2]}})
        d.tool().replace(dn, "member", {held.begin(), held.end()});

    Pass real = run(box);
    EXPECT_EQ(real.command.exitCode, 1) << real.command.err;
    // An emptied DL holds nothing, or the placeholder where groupOfNames must have a member.
    std::set<std::string> emptied;
    if (d.kind() == DirectoryKind::StockSlapd) emptied.insert("cn=empty,cn=quorvel");
    EXPECT_EQ(lists(), (std::vector{sales, before[1], emptied}));
    EXPECT_EQ(lists(), applied);
    EXPECT_NE(real.last("Process:Open:").find(d.adsPath(broken)), std::string::npos) << preview.command.err;
    EXPECT_NE(real.last("DL Completed.\r\n" + d.adsPath(nobody)).find("Before membership: 2 members\r\n"
                                                                      "Query results: 0 members\r\nUpdated: True"),
              std::string::npos);

    // The placeholder is nobody: the next pass counts none and writes nothing.
    real = run(box);
    EXPECT_NE(real.last("DL Completed.\r\n" + d.adsPath(nobody)).find("Before membership: 0 members\r\n"
                                                                      "Query results: 0 members\r\nUpdated: False"),
              std::string::npos);
    EXPECT_EQ(members(nobody), emptied);
}

// One DL as the target: a pass on that DL alone, its small change sent as the
// change (a modify that carries a name held before and after would be a
// replace), on 389-DS after it refused Permissive Modify.
TEST_P(Compatibility, SingleDlGetsItsChangeAsAChange) {
    auto& d = directory();
    auto sales = people("Sales");
    const std::string keep = *sales.begin();
    std::set<std::string> held = sales;
    held.erase(std::prev(held.end()));
    held.insert(stale());
    const std::string box = d.addContainer(d.layout().dlContainer, "compat-one");
    const std::string one = dl(box, "qvl-one", "Sales", held);
    FaultProxy proxy(d.server());
    bool replaced = false;
    proxy.arm(Fault::on(LdapOp::Modify, keep).pass().withHook([&] { replaced = true; }));
    Pass r = run("LDAP://" + proxy.server() + "/" + one);
    EXPECT_EQ(r.command.exitCode, 0) << r.command.err;
    EXPECT_NE(r.last("Quorvel is beginning a pass on  LDAP://"), "");
    EXPECT_FALSE(replaced);
    EXPECT_EQ(members(one), sales);
}

// What stops a write: a safeguard, a server's size limit, and an account
// that may write the members but not read them.
TEST_P(Compatibility, SafeguardSizeLimitAndBlindAccountRefuse) {
    auto& d = directory();
    const auto sales = people("Sales");
    std::set<std::string> held = sales;
    for (const char* gone : {"cn=gone1,", "cn=gone2,", "cn=gone3,"}) held.insert(gone + std::string(d.layout().peopleBase));
    const std::string box = d.addContainer(d.layout().dlContainer, "compat-refuse");
    const std::string shrink = dl(box, "qvl-shrink", "Sales", held);
    Pass r = run(shrink, Role::Service, {}, "[Safeguards]\nMaxRemoveCount=2\n");
    EXPECT_EQ(r.command.exitCode, 1);
    EXPECT_NE(r.last("p_UpdateDLWithQuery:Safeguard"), "");

    const std::string everyone = d.addDl(box, "qvl-everyone", d.definition(d.layout().peopleBase,
                                         std::string("(objectClass=") + d.layout().personClass + ")"), {*sales.begin()});
    r = run(everyone, Role::Limited);
    EXPECT_EQ(r.command.exitCode, 1);
    EXPECT_NE(r.last("Process:Open:").find("[80072023]"), std::string::npos) << r.command.err;
    EXPECT_EQ(members(everyone), std::set<std::string>{*sales.begin()});

    if (!d.has(Role::Blind)) return;
    r = run(shrink, Role::Blind);
    EXPECT_EQ(r.command.exitCode, 1);
    EXPECT_NE(r.last("Process:GetEX").find("[80070005]"), std::string::npos) << r.command.err;
    EXPECT_EQ(members(shrink), held);
}

QUORVEL_ALL_DIRECTORIES(Compatibility);

}  // namespace
}  // namespace qv::test
