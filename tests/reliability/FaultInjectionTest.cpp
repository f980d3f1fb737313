// Network and server faults between the unattended program and the directory:
// the real quorvel binary runs a container pass through a fault proxy while
// connections are refused, cut, silenced or slowed, and while slapd is
// stopped, frozen or killed at chosen moments. Whatever happens, every DL
// keeps its old membership or gets its whole new one, every failure has its
// error entry, the pass goes on with the next DL, and the run ends within the
// shortened timeouts with its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "QuorvelRun.h"
#include "support/FaultProxy.h"
#include "support/LdapTool.h"

using namespace qv::test;

namespace {

const std::string kLists = std::string("cn=Fault Lists,") + kSite;
const std::string kBulk = "ou=Bulk,o=Northwind Traders";
constexpr int kBulkPeople = 150;  // more than one page of 100

struct FaultDl {
    std::string alias, base, filter, scope;
};
// The DLs in the order the pass meets them; the middle one takes the faults.
const FaultDl kDls[] = {
    {"fl-a-sales", kSite, "(&(objectClass=organizationalPerson)(department=Sales))", "subtree"},
    {"fl-b-bulk", kBulk, "(objectClass=organizationalPerson)", "oneLevel"},
    {"fl-c-engineers", kSite, "(&(objectClass=organizationalPerson)(title=*Engineer))", "subtree"},
};
const std::string& kHit = kDls[1].alias;

std::string dlDn(const std::string& alias) { return "cn=" + alias + "," + kLists; }

std::string dlEntry(const FaultDl& dl, const std::string& server, const std::vector<std::string>& members) {
    std::string ldif = "dn: " + dlDn(dl.alias) + "\nobjectClass: groupOfNames\ncn: " + dl.alias + "\nuid: " +
                       dl.alias + "\nObj-View-Containers: " + kLists + "\nextension-attribute-15: QVL=<LDAP://" +
                       server + "/" + dl.base + ">;" + dl.filter + ";cn,ADsPath,distinguishedName;" + dl.scope + "\n";
    for (const auto& member : members) ldif += "member: " + member + "\n";
    return ldif + "\n";
}

// ou=Bulk and the container of the fault DLs, whose queries name the proxy,
// so that every search and write passes through it.
std::string faultEntries(const std::string& proxy) {
    std::string seed = "dn: " + kBulk + "\nobjectClass: organizationalUnit\nou: Bulk\n\n";
    for (int i = 0; i < kBulkPeople; ++i) {
        const std::string cn = "bulk" + std::to_string(1000 + i).substr(1);  // bulk000 to bulk149
        seed += "dn: cn=" + cn + "," + kBulk + "\nobjectClass: organizationalPerson\ncn: " + cn +
                "\nuid: " + cn + "\n\n";
    }
    seed += "dn: " + kLists + "\nobjectClass: Container\ncn: Fault Lists\n\n";
    const std::string someone = "cn=bulk000," + kBulk;
    seed += dlEntry(kDls[0], proxy, {someone});
    seed += dlEntry(kDls[1], proxy,
                    {std::string("cn=avries,") + kRecipients, std::string("cn=cbakker,") + kRecipients});
    return seed + dlEntry(kDls[2], proxy, {someone});
}

class FaultInjection : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<ReferenceDirectory>();
        proxy = std::make_unique<FaultProxy>(dir->server());
        LdapTool ldap(*dir);
        ldap.add(faultEntries(proxy->server()));
        for (const auto& dl : kDls) {
            before[dl.alias] = ldap.members(dlDn(dl.alias));
            after[dl.alias] = ldap.dns(dl.base, dl.filter, dl.scope == "oneLevel" ? "one" : "sub");
            ASSERT_NE(before[dl.alias], after[dl.alias]) << dl.alias;
        }
        ASSERT_EQ(after[kHit].size(), std::size_t(kBulkPeople));
    }
    static void TearDownTestSuite() {
        proxy.reset();
        dir->thaw();
        dir.reset();
    }

    // Every scenario starts from the seeded memberships with a plain proxy and a running server.
    void SetUp() override {
        proxy->reset();
        dir->thaw();
        if (!dir->running()) dir->resume();
        LdapTool ldap(*dir);
        for (const auto& dl : kDls)
            ldap.replace(dlDn(dl.alias), "member", {before[dl.alias].begin(), before[dl.alias].end()});
    }

    // Freezes the server until the program opens its next connection, for the next DL.
    static void freezeUntilReconnect() {
        dir->freeze();
        proxy->onNextConnection([] { dir->thaw(); });
    }

    std::string target() const { return "LDAP://" + proxy->server() + "/" + kLists; }
    std::string pathOf(const std::string& alias) const { return "LDAP://" + proxy->server() + "/" + dlDn(alias); }

    // Runs quorvel on a container profile through the proxy, with short timeouts.
    QuorvelRun run() {
        TempDir temp;
        auto start = std::chrono::steady_clock::now();
        auto r = runQuorvel(temp, target(),
                            {{"LDAPNOINIT", "1"}, {"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"},
                             {"QUORVEL_LDAP_TIMEOUT", "3"}});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }

    // Old, new or neither ("PARTIAL"); never a mixture may come out of a fault.
    std::string state(const std::string& alias) const {
        auto now = LdapTool(*dir).members(dlDn(alias));
        return now == before[alias] ? "old" : now == after[alias] ? "new" : "PARTIAL";
    }

    // The checks every scenario shares; `allowed` are the states the DL the
    // fault hit may be left in (empty when nothing failed). Prints the
    // scenario's line of the fault table and returns the run's error entry.
    std::string expectOutcome(const QuorvelRun& r, const char* name, const std::set<std::string>& allowed) {
        const std::string failing = allowed.empty() ? "" : kHit;
        dir->thaw();  // a run cut short before its next DL must not leave the checks to a frozen server
        std::printf("| %s | exit %d | %s %s %s | %.1f s |\n", name, r.command.exitCode, state(kDls[0].alias).c_str(),
                    state(kHit).c_str(), state(kDls[2].alias).c_str(), seconds);
        EXPECT_EQ(r.command.exitCode, failing.empty() ? 0 : 1) << r.command.err;
        for (const auto& dl : kDls) {
            if (dl.alias == failing)
                EXPECT_TRUE(allowed.count(state(dl.alias))) << dl.alias << " is " << state(dl.alias);
            else
                EXPECT_EQ(state(dl.alias), "new") << dl.alias;  // the pass went on, the server was back
        }
        std::size_t completed = 0;
        for (const auto& e : r.entries) completed += e.message.rfind("DL Completed.\r\n", 0) == 0;
        EXPECT_EQ(completed, std::size(kDls) - !failing.empty());
        const auto errors = errorEntries(r.entries);
        EXPECT_EQ(errors.size(), failing.empty() ? 0u : 1u);
        for (const auto& e : errors) EXPECT_EQ(e.eventId, 3221229569u);
        EXPECT_EQ(r.entries.empty() ? "" : r.entries.back().message,
                  "Quorvel is ending a pass on all Quorvel distribution lists in " + target());
        return errors.empty() ? std::string() : errors.front().message;
    }

    static std::unique_ptr<FaultProxy> proxy;
    static std::unique_ptr<ReferenceDirectory> dir;
    static std::map<std::string, std::set<std::string>> before, after;
    double seconds = 0;  // how long the last run took
};

std::unique_ptr<FaultProxy> FaultInjection::proxy;
std::unique_ptr<ReferenceDirectory> FaultInjection::dir;
std::map<std::string, std::set<std::string>> FaultInjection::before, FaultInjection::after;

}  // namespace

TEST_F(FaultInjection, ServerStoppedBeforeThePass) {
    dir->stop();
    auto r = run();
    std::printf("| ServerStoppedBeforeThePass | exit %d | %.1f s |\n", r.command.exitCode, seconds);
    dir->resume();
    EXPECT_EQ(r.command.exitCode, 1);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].message, "Could not find object specified [" + target() + "]");
    EXPECT_EQ(r.entries[0].type, 2);
    EXPECT_NE(r.command.err.find("Error -2147016646 [8007203A]"), std::string::npos) << r.command.err;
    for (const auto& dl : kDls) EXPECT_EQ(state(dl.alias), "old") << dl.alias;
}

// The fault matrix: one row per fault, the middle DL (fl-b-bulk) taking it.
// A search fault fails the DL's search, any other the DL's write.
TEST_F(FaultInjection, EachFaultCostsAtMostTheDlItHits) {
    struct Scenario {
        const char* name;
        std::optional<Fault> fault;
        std::set<std::string> allowed;  // the states the hit DL may be left in; empty: nothing fails
    };
    const std::string bulkDl = dlDn(kHit);
    const Scenario scenarios[] = {
        {"NoFault", std::nullopt, {}},
        {"CutAfterTheFirstPage", Fault::on(LdapOp::Search, kBulk, 2).cutBefore(), {"old"}},
        {"CutInTheSecondPage", Fault::on(LdapOp::Search, kBulk, 2).cutAfter(1500), {"old"}},
        {"CutBeforeTheWriteServerAway", Fault::on(LdapOp::Modify, bulkDl).cutBefore().thenRefuse(1), {"old"}},
        // One replace sent again on a new connection: nothing failed, nothing half done.
        {"CutBeforeTheWrite", Fault::on(LdapOp::Modify, bulkDl).cutBefore(), {}},
        // The server applied the replace; its answer never arrived.
        {"CutAfterTheWriteServerAway", Fault::on(LdapOp::Modify, bulkDl).cutAfter(0).thenRefuse(1), {"new"}},
        {"CutAfterTheWrite", Fault::on(LdapOp::Modify, bulkDl).cutAfter(0), {}},
        {"FrozenDuringTheSearch", Fault::on(LdapOp::Search, kBulk).pass().withHook(freezeUntilReconnect), {"old"}},
        // The frozen server holds the replace; once thawed it may still apply it.
        {"FrozenDuringTheWrite", Fault::on(LdapOp::Modify, bulkDl).pass().withHook(freezeUntilReconnect),
         {"old", "new"}},
        {"SilentDuringTheWrite", Fault::on(LdapOp::Modify, bulkDl).stall(), {"old"}},
        {"KilledAfterTheFirstPage", Fault::on(LdapOp::Search, kBulk, 2).pass().withHook([] {
             dir->kill();
             proxy->onNextConnection([] { dir->resume(); });
         }),
         {"old"}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        SetUp();
        if (scenario.fault) proxy->arm(*scenario.fault);
        auto r = run();
        EXPECT_EQ(proxy->fired(), scenario.fault ? 1 : 0);
        const std::string error = expectOutcome(r, scenario.name, scenario.allowed);
        if (scenario.allowed.empty()) continue;
        if (scenario.fault->op == LdapOp::Search) {
            EXPECT_EQ(error.rfind("Process:Open:<LDAP://" + proxy->server() + "/" + kBulk + ">;", 0), 0u) << error;
            EXPECT_NE(error.find(pathOf(kHit)), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "p_UpdateDLWithQuery:PutEX\r\nExchange server not found or not operational\r\n" +
                                 pathOf(kHit));
        }
    }
}

TEST_F(FaultInjection, SlowLinkCompletes) {
    proxy->slow(std::chrono::milliseconds(5), 256);
    expectOutcome(run(), "SlowLinkCompletes", {});
}
