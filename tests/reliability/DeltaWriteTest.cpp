// Membership writes that send only the names that go and come: what reaches
// the server, the memberships that come out (case-only changes, a name given
// twice), writes cut before or after the server took them, each DL written in
// one modify, and the whole replace on a server whose root entry does not
// list Permissive Modify.
#include <gtest/gtest.h>

#include "../engine/EngineFixture.h"
#include "QuorvelRun.h"
#include "support/FaultProxy.h"

using namespace qv::test;

namespace {

const std::string kOu = "ou=Delta,o=Northwind Traders";
constexpr int kFound = 8;  // people each list's query finds

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
    ldap.add("dn: " + kOu + "\nobjectClass: organizationalUnit\nou: Delta\n");
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

}  // namespace

// Each DL's write, with the answer to one change lost and the change sent
// again on a new connection; then a second pass, which must find nothing to do.
// Both on a server that lists Permissive Modify and on one that does not.
TEST(DeltaWrite, OnlyTheChangeIsSentAndEveryMembershipComesOutExact) {
    // The shared directory lists Permissive Modify (refdir/rootdse.ldif); the
    // second one is started again with a root entry that does not.
    ReferenceDirectory plain;
    const std::string listed = "supportedControl: 1.2.840.113556.1.4.1413\n", rootDse = plain.dir() + "/rootdse.ldif";
    std::string text = readFile(rootDse);
    text.erase(text.find(listed), listed.size());
    writeFile(rootDse, text);
    plain.stop();
    plain.resume();
    for (ReferenceDirectory* dir : {&sharedDirectory(), &plain}) {
        const bool permissive = dir == &sharedDirectory();
        SCOPED_TRACE(permissive ? "server lists Permissive Modify" : "server does not list it");
        FaultProxy proxy(dir->server());
        TempDir temp;  // the real program runs over the container, through the proxy
        const std::string target = "LDAP://" + proxy.server() + "/" + kOu;
        auto found = seedLists(*dir, proxy.server());
        // Three writes cut: dw-swap's applied, its answer lost and sent again; dw-grow's never
        // sent and dw-shrink's applied, each with the server gone for the retry.
        proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-swap")).cutAfter(0));
        proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-grow")).cutBefore().thenRefuse(1));
        proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-shrink")).cutAfter(0).thenRefuse(1));
        int replaces = 0;
        for (const auto& c : cases()) {
            if (c.alias == "dw-empty" || c.alias == "dw-grow" || c.alias == "dw-shrink") continue;
            proxy.arm(Fault::on(LdapOp::Modify, person(c.alias, c.unchanged)).pass());
            replaces += permissive ? !c.delta : 1;
        }
        const std::size_t logged = readFile(dir->dir() + "/slapd.log").size();
        auto r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
        EXPECT_EQ(r.command.exitCode, 1) << r.command.err;
        EXPECT_EQ(errorEntries(r.entries).size(), 2u) << r.events;
        EXPECT_EQ(proxy.fired(), 3 + replaces);  // the cuts, and one probe per whole list sent
        // Each DL wholly old or wholly new, from one modify: none where the cut came first, two where
        // the first one's answer was lost and the server was still there.
        const std::string log = readFile(dir->dir() + "/slapd.log").substr(logged);
        LdapTool ldap(*dir);
        for (const auto& c : cases()) {
            const bool old = c.alias == "dw-grow";
            EXPECT_EQ(ldap.members(dlDn(c.alias)), old ? std::set(c.held.begin(), c.held.end()) : found[c.alias])
                << c.alias;
            const std::string modify = " MOD dn=\"" + dlDn(c.alias) + "\"";
            int modifies = 0;
            for (auto at = log.find(modify); at != std::string::npos; at = log.find(modify, at + 1)) ++modifies;
            EXPECT_EQ(modifies, old ? 0 : c.alias == "dw-swap" ? 2 : 1) << c.alias;
        }

        // The next pass writes only the DL left old.
        proxy.reset();
        proxy.arm(Fault::on(LdapOp::Modify, dlDn("dw-grow")).pass());
        proxy.arm(Fault::on(LdapOp::Modify, "").pass());
        r = runQuorvel(temp, target, {{"LDAPNOINIT", "1"}});
        EXPECT_EQ(r.command.exitCode, 0) << r.command.err;
        EXPECT_EQ(proxy.fired(), 1) << "a second pass wrote again";
        EXPECT_EQ(ldap.members(dlDn("dw-grow")), found["dw-grow"]);

        // A change that names a value twice (as a list with duplicates yields)
        // is sent with each value once, and the membership comes out exact.
        prepareUnattendedRun(*dir, "0");
        const std::string dl = "cn=dw-twice," + std::string(kDistributionLists), a = person("a", 1),
                          b = person("b", 1), c = person("c", 1), d = person("d", 1);
        ldap.add("dn: " + dl + "\nobjectClass: groupOfNames\ncn: dw-twice\nmember: " + a + "\nmember: " + b +
                 "\nmember: " + c + "\n");
        std::string path = dir->adsPath(dl);
        auto object = qv::mdl().objExchangeStore->Query(path).objects().Item(1);
        ASSERT_TRUE(object->SetPropertyChangeEx("member", {a, d}, {b, c, c}, {d, d})) << object->lastError.Description;
        EXPECT_EQ(ldap.members(dl), (std::set<std::string>{a, d}));
    }
}
