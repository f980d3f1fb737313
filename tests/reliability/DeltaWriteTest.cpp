// Membership writes that send only the names that go and come: what reaches
// the server, the memberships that come out (case-only changes, a name given
// twice), a write whose answer is lost and that is sent again, writes cut
// before or after the server took them (each DL wholly old or wholly new,
// from one modify), a server that refuses the Permissive Modify control
// (unavailableCriticalExtension: the plain change, remembered for the run)
// and changes the server refuses because a value is not as read (read again,
// one replace).
#include <gtest/gtest.h>

#include "../engine/EngineFixture.h"
#include "QuorvelRun.h"
#include "support/FaultProxy.h"

using namespace qv::test;

namespace {

constexpr int kFound = 8;  // people each list's query finds
std::string kOu;           // the container of the row that runs

std::string person(const std::string& alias, int i) { return "cn=" + alias + "-0" + std::to_string(i) + "," + kOu; }
std::string gone(const std::string& alias, int i) { return "cn=" + alias + "-gone" + std::to_string(i) + "," + kOu; }
std::string dlDn(const std::string& alias) { return "cn=" + alias + "," + kOu; }

// One DL: what it holds before the pass, and whether the pass sends only the change.
struct ListCase {
    std::string alias;
    bool delta;
    std::vector<std::string> held;
    int unchanged = 4;  // a person held before and after: a replace carries it, a change does not
};

std::vector<ListCase> cases() {
    std::vector<ListCase> out{{"dw-swap", true, {}}, {"dw-case", true, {}},  {"dw-grow", true, {}},
                              {"dw-shrink", true, {}}, {"dw-most", false, {}, 1}, {"dw-empty", false, {}}};
    for (auto& c : out) {
        for (int i = 0; i < kFound; ++i) c.held.push_back(person(c.alias, i));
        if (c.alias == "dw-swap") c.held.front() = gone(c.alias, 1);
        if (c.alias == "dw-case") c.held[2] = "cn=DW-CASE-02," + kOu;  // the same entry, other case
        if (c.alias == "dw-grow") c.held.pop_back();
        if (c.alias == "dw-shrink") c.held.push_back(gone(c.alias, 1));
        if (c.alias == "dw-most") c.held = {person(c.alias, 0), person(c.alias, 1), gone(c.alias, 1), gone(c.alias, 2)};
        if (c.alias == "dw-empty") c.held = {gone(c.alias, 1), gone(c.alias, 2)};
    }
    return out;
}

// People, and DLs whose queries reach the directory through `proxy`; the members each query finds.
std::map<std::string, std::set<std::string>> seedLists(const ReferenceDirectory& dir, const std::string& proxy) {
    LdapTool ldap(dir);
    ldap.add("dn: " + kOu + "\nobjectClass: organizationalUnit\nou: " + kOu.substr(3, kOu.find(',') - 3) + "\n");
    std::map<std::string, std::set<std::string>> found;
    for (const auto& c : cases()) {
        for (int i = 0; c.alias != "dw-empty" && i < kFound; ++i) {
            ldap.add("dn: " + person(c.alias, i) + "\nobjectClass: organizationalPerson\ncn: " + c.alias + "-0" +
                     std::to_string(i) + "\ndepartment: " + c.alias + "\n");
            found[c.alias].insert(person(c.alias, i));
        }
        std::string ldif = "dn: " + dlDn(c.alias) + "\nobjectClass: groupOfNames\ncn: " + c.alias +
                           "\nextension-attribute-15: QVL=<LDAP://" + proxy + "/" + kOu +
                           ">;(&(objectClass=organizationalPerson)(department=" + c.alias + "));cn,ADsPath,distinguishedName;subtree\n";
        for (const auto& m : c.held) ldif += "member: " + m + "\n";
        ldap.add(ldif);
    }
    return found;
}

// What the proxy does to the pass, and how many lists go whole (a replace).
struct ServerCase {
    const char* name;
    std::function<void(FaultProxy&)> arm;
    int faults;    // the armed faults that fire
    int replaces;  // lists sent whole
};

const char* const kPermissiveOid = "1.2.840.113556.1.4.1413";

std::vector<ServerCase> serverCases() {
    auto refuse = [](int code) {
        return [code](FaultProxy& p) { p.arm(Fault::on(LdapOp::Modify, dlDn("dw-grow")).answer(code)); };
    };
    return {
        // The answer to one change lost; the change sent again under the control.
        {"takes Permissive Modify", [](FaultProxy& p) { p.arm(Fault::on(LdapOp::Modify, dlDn("dw-swap")).cutAfter(0)); },
         1, 1},
        // The control refused once (a second refusal stays armed: the run
        // remembers and never sends it again); the plain change's answer lost,
        // the change sent again finds its value gone (16): read again, replaced.
        {"refuses the control (12)",
         [](FaultProxy& p) {
             p.arm(Fault::on(LdapOp::Modify, kPermissiveOid).answer(12));
             p.arm(Fault::on(LdapOp::Modify, kPermissiveOid).answer(12));
             p.arm(Fault::on(LdapOp::Modify, dlDn("dw-swap")).cutAfter(0));
         },
         2, 2},
        {"refuses a change: noSuchAttribute (16)", refuse(16), 1, 2},
        {"refuses a change: typeOrValueExists (20)", refuse(20), 1, 2},
        {"refuses a change: constraintViolation (19)", refuse(19), 1, 2},
    };
}

}  // namespace

// Each row runs the real program over a container of its own through the
// proxy, then a second pass, which must find nothing to do.
TEST(DeltaWrite, OnlyTheChangeIsSentAndEveryMembershipComesOutExact) {
    ReferenceDirectory& dir = sharedDirectory();
    int row = 0;
    for (const auto& server : serverCases()) {
        SCOPED_TRACE(std::string("server ") + server.name);
        kOu = "ou=Delta" + std::to_string(++row) + ",o=Northwind Traders";
        FaultProxy proxy(dir.server());
        TempDir temp;
        const std::string target = "LDAP://" + proxy.server() + "/" + kOu;
        auto found = seedLists(dir, proxy.server());
        server.arm(proxy);
        for (const auto& c : cases()) {
            if (c.alias == "dw-empty") continue;
            proxy.arm(Fault::on(LdapOp::Modify, person(c.alias, c.unchanged)).pass());
        }
        auto r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
        EXPECT_EQ(r.command.exitCode, 0) << r.command.err;
        EXPECT_TRUE(errorEntries(r.entries).empty()) << r.events;
        EXPECT_EQ(proxy.fired(), server.faults + server.replaces);
        LdapTool ldap(dir);
        for (const auto& c : cases()) EXPECT_EQ(ldap.members(dlDn(c.alias)), found[c.alias]) << c.alias;

        proxy.reset();
        proxy.arm(Fault::on(LdapOp::Modify, "").pass());
        r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
        EXPECT_EQ(r.command.exitCode, 0) << r.command.err;
        EXPECT_EQ(proxy.fired(), 0) << "a second pass wrote again";
    }

    // A change that names a value twice (as a list with duplicates yields)
    // is sent with each value once, and the membership comes out exact.
    prepareUnattendedRun(dir, "0");
    const std::string dl = "cn=dw-twice," + std::string(kDistributionLists), a = person("a", 1), b = person("b", 1),
                      c = person("c", 1), d = person("d", 1);
    LdapTool ldap(dir);
    ldap.add("dn: " + dl + "\nobjectClass: groupOfNames\ncn: dw-twice\nmember: " + a + "\nmember: " + b +
             "\nmember: " + c + "\n");
    std::string path = dir.adsPath(dl);
    auto object = qv::mdl().objExchangeStore->Query(path).objects().Item(1);
    ASSERT_TRUE(object->SetPropertyChangeEx("member", {b, c, c}, {d, d})) << object->lastError.Description;
    EXPECT_EQ(ldap.members(dl), (std::set<std::string>{a, d}));
}

// Writes cut before and after the server took them, each with the server gone
// for the retry: every DL comes out wholly old or wholly new, from at most one
// modify (two where the first one's answer was lost and the server was still
// there), and the next pass writes only the DL left old.
TEST(DeltaWrite, CutWritesLeaveEachDLWholeFromOneModify) {
    ReferenceDirectory& dir = sharedDirectory();
    kOu = "ou=DeltaCuts,o=Northwind Traders";
    FaultProxy proxy(dir.server());
    TempDir temp;
    const std::string target = "LDAP://" + proxy.server() + "/" + kOu;
    auto found = seedLists(dir, proxy.server());
    proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-swap")).cutAfter(0));
    proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-grow")).cutBefore().thenRefuse(1));
    proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-shrink")).cutAfter(0).thenRefuse(1));
    int replaces = 0;
    for (const auto& c : cases()) {
        if (c.alias == "dw-empty" || c.alias == "dw-grow" || c.alias == "dw-shrink") continue;
        proxy.arm(Fault::on(LdapOp::Modify, person(c.alias, c.unchanged)).pass());
        replaces += !c.delta;
    }
    const std::size_t logged = readFile(dir.dir() + "/slapd.log").size();
    auto r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
    EXPECT_EQ(r.command.exitCode, 1) << r.command.err;
    EXPECT_EQ(errorEntries(r.entries).size(), 2u) << r.events;
    EXPECT_EQ(proxy.fired(), 3 + replaces);  // the cuts, and one probe per whole list sent
    const std::string log = readFile(dir.dir() + "/slapd.log").substr(logged);
    LdapTool ldap(dir);
    for (const auto& c : cases()) {
        const bool old = c.alias == "dw-grow";
        EXPECT_EQ(ldap.members(dlDn(c.alias)), old ? std::set(c.held.begin(), c.held.end()) : found[c.alias])
            << c.alias;
        EXPECT_EQ(occurrences(log, " MOD dn=\"" + dlDn(c.alias) + "\""), old ? 0 : c.alias == "dw-swap" ? 2 : 1) << c.alias;
    }

    proxy.reset();
    proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-grow")).pass());
    proxy.arm(Fault::on(LdapOp::Modify, "").pass());
    r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
    EXPECT_EQ(r.command.exitCode, 0) << r.command.err;
    EXPECT_EQ(proxy.fired(), 1) << "a second pass wrote again";
    EXPECT_EQ(ldap.members(dlDn("dw-grow")), found["dw-grow"]);
}
