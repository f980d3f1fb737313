// The gate of incremental passes: the real program, Incremental=true, against
// a reference directory that serves content synchronisation, after rounds of
// random changes (people added, deleted, renamed, moved out of a query's
// base, attributes changed into and out of filters, DLs edited by hand, DL
// definitions changed). After each pass every DL must hold exactly what its
// query finds, and only the DLs someone else touched may have had their
// members read. A preview, a safeguard's refusal and connections cut in the
// middle of a sync search or just after a write must leave a state from which
// the next pass is right. The seed is printed; QUORVEL_GATE_SEED and
// QUORVEL_GATE_ROUNDS replay or lengthen a run.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/FaultProxy.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv::test;

namespace {

const std::string kSiteDn = kSite;
const std::string kGateA = "cn=GateA," + kSiteDn, kGateB = "cn=GateB," + kSiteDn, kLists = "cn=GateLists," + kSiteDn;
const std::string kPlaceholder = "cn=empty,cn=quorvel";
const char* const kDepartments[] = {"Sales", "Ops", "Legal"};
const char* const kCities[] = {"Delft", "Breda"};
// The request control of a sync search, as its bytes travel in the request.
const std::string kSyncControl = "1.3.6.1.4.1.4203.1.9.1.1";

struct Query {
    std::string base, filter, scope;  // scope as ldapsearch takes it: sub or one
};

unsigned setting(const char* name, unsigned fallback) {
    const char* value = std::getenv(name);
    return value && *value ? unsigned(std::stoul(value)) : fallback;
}

std::set<std::string> without(std::set<std::string> names, const std::string& name) {
    names.erase(name);
    return names;
}

class IncrementalGate : public ::testing::Test {
protected:
    IncrementalGate() : dir(RefDirOptions{.sync = true}), proxy(dir.server()) {}

    void SetUp() override {
        seed = setting("QUORVEL_GATE_SEED", std::random_device{}());
        std::cout << "incremental gate: seed " << seed << " (QUORVEL_GATE_SEED=" << seed << " replays it)\n";
        RecordProperty("seed", std::to_string(seed));
        random.seed(seed);
        for (const auto& container : {kGateA, kGateB, kLists})
            ldap.add("dn: " + container + "\nobjectClass: Container\ncn: " + container.substr(3, container.find(',') - 3) + "\n");
        for (int i = 0; i < 30; ++i) addPerson();
        addDl({kGateA, "(department=Sales)", "sub"});
        addDl({kSiteDn, "(department=Ops)", "sub"});
        addDl({kGateB, "(l=Delft)", "one"});
        addDl({kSiteDn, "(&(department=Legal)(l=Breda))", "sub"});
        addDl({kLists, "(objectClass=groupOfNames)", "sub"});  // every DL of the gate, itself included
        addDl({kGateA, "(|(department=Sales)(department=Legal))", "sub"});
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[pick(N)]; }
    std::string anyPerson() { return people[pick(people.size())]; }

    std::string definition(const Query& q) const {
        return "QVL=<LDAP://" + proxy.server() + "/" + q.base + ">;" + q.filter + ";cn,ADsPath,distinguishedName;" +
               (q.scope == "one" ? "onelevel" : "subtree");
    }
    void addPerson() {
        const std::string name = "p" + std::to_string(serial++);
        const std::string dn = "cn=" + name + "," + (pick(2) ? kGateA : kGateB);
        ldap.add("dn: " + dn + "\nobjectClass: organizationalPerson\ncn: " + name + "\ndepartment: " +
                 pick(kDepartments) + "\nl: " + pick(kCities) + "\n");
        people.push_back(dn);
    }
    void addDl(const Query& q) {
        const std::string dn = "cn=qvl-gate" + std::to_string(dls.size()) + "," + kLists;
        ldap.add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: qvl-gate" + std::to_string(dls.size()) +
                 "\nextension-attribute-15: " + definition(q) + "\n");
        dls[dn] = q;
    }
    std::string anyDl() {
        auto at = dls.begin();
        std::advance(at, pick(dls.size()));
        return at->first;
    }
    // A change of a DL's entry by someone else than Quorvel.
    void edit(const std::string& dl, const std::string& change) {
        ldap.modify("dn: " + dl + "\nchangetype: modify\n" + change);
        touched.insert(dl);
    }
    void rename(std::size_t i, const std::string& superior) {
        const std::string name = "p" + std::to_string(serial++);
        ldap.modify("dn: " + people[i] + "\nchangetype: modrdn\nnewrdn: cn=" + name + "\ndeleteoldrdn: 1\nnewsuperior: " +
                    superior + "\n");
        people[i] = "cn=" + name + "," + superior;
    }

    // One random change of the directory, as people and administrators make them.
    void change() {
        const std::size_t i = pick(people.size());
        switch (pick(9)) {
            case 0: return addPerson();
            case 1:
                ldap.remove(people[i]);
                people.erase(people.begin() + std::ptrdiff_t(i));
                return;
            case 2: return rename(i, people[i].substr(people[i].find(',') + 1));
            case 3: return rename(i, people[i].find(kGateA) != std::string::npos ? kGateB : kGateA);  // moved
            case 4: return ldap.replace(people[i], "department", {pick(kDepartments)});
            case 5: return ldap.replace(people[i], "l", {pick(kCities)});
            case 6: {  // a member added by hand, or the placeholder
                const std::string dl = anyDl(), member = pick(4) ? anyPerson() : kPlaceholder;
                if (ldap.members(dl).count(member)) return;
                return edit(dl, "add: member\nmember: " + member + "\n");
            }
            case 7: {  // a member removed by hand
                const std::string dl = anyDl();
                const auto members = ldap.members(dl);
                if (members.empty()) return;
                auto at = members.begin();
                std::advance(at, pick(members.size()));
                return edit(dl, "delete: member\nmember: " + *at + "\n");
            }
            default: {  // a definition changed
                const std::string dl = anyDl();
                Query& q = dls[dl];
                if (q.filter.rfind("(department=", 0) != 0) return;
                q.filter = std::string("(department=") + pick(kDepartments) + ")";
                return edit(dl, "replace: extension-attribute-15\nextension-attribute-15: " + definition(q) + "\n");
            }
        }
    }

    // Runs quorvel on the gate's lists with Incremental=true; `safeguards` goes into [Safeguards].
    CommandResult pass(std::vector<std::string> options = {}, const std::string& safeguards = "") {
        writeFile(temp.file("gate.ini"), "[General]\nTarget=LDAP://" + proxy.server() + "/" + kLists +
                                             "\nIncremental=true\n[Safeguards]\n" + safeguards +
                                             "\n[Authentication]\nUser=writer\nDomain=CORP\nPassword=writer-pw\n");
        ::chmod(temp.file("gate.ini").c_str(), 0600);
        options.insert(options.begin(), binaryDir() + "/quorvel");
        options.push_back(temp.file("gate.ini"));
        const std::size_t logged = readFile(dir.dir() + "/slapd.log").size();
        auto r = runCommand(options, {{"STATE_DIRECTORY", temp.file("state")},
                                      {"XDG_RUNTIME_DIR", temp.path()},
                                      {"XDG_CONFIG_HOME", temp.file("config")},
                                      {"LDAPNOINIT", "1"}});
        // The DL reads that asked for members: the first read of a DL without a usable state, or the read again.
        const std::string log = readFile(dir.dir() + "/slapd.log").substr(logged);
        static const std::regex memberRead("SRCH attr=member (extension-attribute-15 )?entryCSN");
        membersRead = std::distance(std::sregex_iterator(log.begin(), log.end(), memberRead), std::sregex_iterator());
        return r;
    }

    void expectEveryDlRight(const std::string& when) {
        for (const auto& [dl, q] : dls)
            EXPECT_EQ(without(ldap.members(dl), kPlaceholder), without(ldap.dns(q.base, q.filter, q.scope), dl))
                << dl << " " << when << " (seed " << seed << ")";
    }

    std::string state() const { return readFile(temp.file("state/gate.state")); }

    // The preview of an incremental pass is the preview of a full one, names compared as sets.
    void expectPreviewOfAFullPass() {
        const auto incremental = pass({"--dry-run", "--json"}), full = pass({"--dry-run", "--json", "--full"});
        ASSERT_EQ(incremental.exitCode, full.exitCode) << incremental.err << full.err;
        auto records = [](const std::string& text) {
            std::map<std::string, std::vector<std::set<std::string>>> byDl;
            std::istringstream in(text);
            for (std::string line; std::getline(in, line);) {
                auto json = nlohmann::json::parse(line);
                byDl[json["dn"]] = {json["added"].get<std::set<std::string>>(),
                                    json["removed"].get<std::set<std::string>>(),
                                    {json["before"].dump(), json["after"].dump(), json["refused"].dump()}};
            }
            return byDl;
        };
        EXPECT_EQ(records(incremental.out), records(full.out)) << "seed " << seed;
    }

    ReferenceDirectory dir;
    LdapTool ldap{dir};
    FaultProxy proxy;
    TempDir temp;
    unsigned seed = 0;
    std::mt19937 random;
    std::map<std::string, Query> dls;   // DN -> its query
    std::vector<std::string> people;    // DNs
    std::set<std::string> touched;      // DLs edited since the last pass
    int serial = 0;
    long membersRead = 0;
};

TEST_F(IncrementalGate, EveryDlHoldsWhatItsQueryFindsAfterEachRound) {
    const unsigned rounds = setting("QUORVEL_GATE_ROUNDS", 24);
    auto r = pass();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectEveryDlRight("after the first pass");
    EXPECT_EQ(membersRead, long(dls.size()));  // no state yet: every DL in full
    for (unsigned round = 1; round <= rounds; ++round) {
        const std::string when = "after round " + std::to_string(round);
        touched.clear();
        for (std::size_t n = 1 + pick(6); n > 0; --n) change();
        if (round % 6 == 2) {
            const std::string before = state();
            expectPreviewOfAFullPass();
            EXPECT_EQ(state(), before) << "a preview saved the state";
        }
        if (round % 6 == 4) {  // a refused change leaves its DL's state as it was
            const auto refused = pass({}, "MaxRemoveCount=0");
            ASSERT_NE(refused.exitCode, 2) << refused.err;
        }
        r = pass();
        ASSERT_EQ(r.exitCode, 0) << when << ": " << r.err;
        expectEveryDlRight(when);
        if (round % 6 != 4)  // after a refusal the DLs written then count too
            EXPECT_EQ(membersRead, long(touched.size())) << when << ": only the DLs edited by hand or redefined";
        if (HasFailure()) return;
    }
    std::cout << "incremental gate: " << rounds << " rounds, " << people.size() << " people, " << dls.size()
              << " DLs\n";
}

// A connection cut in the middle of a sync search, or just after a DL's write
// reached the server, fails the pass; the next pass is right all the same.
TEST_F(IncrementalGate, ACutConnectionLeavesAStateTheNextPassCanUse) {
    ASSERT_EQ(pass().exitCode, 0);
    for (const bool duringSync : {true, false}) {
        for (int n = 0; n < 4; ++n) change();
        // A change every Sales list must write, so that a write is sure to come.
        ldap.add("dn: cn=p" + std::to_string(serial) + "," + kGateA +
                 "\nobjectClass: organizationalPerson\ncn: p" + std::to_string(serial) + "\ndepartment: Sales\n");
        people.push_back("cn=p" + std::to_string(serial++) + "," + kGateA);
        proxy.reset();
        proxy.arm(duringSync ? Fault::on(LdapOp::Search, kSyncControl, int(1 + pick(dls.size()))).cutAfter(pick(24))
                             : Fault::on(LdapOp::Modify, "", 1).cutAfter(0));
        pass();
        EXPECT_EQ(proxy.fired(), 1);
        const auto r = pass();
        EXPECT_EQ(r.exitCode, 0) << r.err;
        expectEveryDlRight(duringSync ? "after a cut sync search" : "after a cut write");
    }
}

// Follow mode: the same kind of changes, made while `quorvel --follow` runs,
// are in every DL within a generous deadline, also after its first watch was
// cut off (it connects again); SIGTERM ends it with status 0.
TEST_F(IncrementalGate, FollowingKeepsEveryDlRight) {
    ASSERT_EQ(pass().exitCode, 0);  // writes the profile
    proxy.reset();
    proxy.arm(Fault::on(LdapOp::Search, kSyncControl, 1).cutAfter(0));
    const std::string program = binaryDir() + "/quorvel", option = "--follow", profile = temp.file("gate.ini");
    const std::string state = "STATE_DIRECTORY=" + temp.file("state"), runtime = "XDG_RUNTIME_DIR=" + temp.path();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(option.c_str()),
                    const_cast<char*>(profile.c_str()), nullptr};
    char* envp[] = {const_cast<char*>(state.c_str()), const_cast<char*>(runtime.c_str()),
                    const_cast<char*>("LDAPNOINIT=1"), nullptr};
    pid_t follower = 0;
    ASSERT_EQ(posix_spawn(&follower, program.c_str(), nullptr, nullptr, argv, envp), 0);
    auto everyDlRight = [&] {
        for (const auto& [dl, q] : dls)
            if (without(ldap.members(dl), kPlaceholder) != without(ldap.dns(q.base, q.filter, q.scope), dl)) return false;
        return true;
    };
    for (int round = 0; round < 4 && !HasFailure(); ++round) {
        for (int n = 0; n < 5; ++n) change();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!everyDlRight() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        expectEveryDlRight("following, round " + std::to_string(round));
    }
    EXPECT_EQ(proxy.fired(), 1);
    ::kill(follower, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(follower, &status, 0), follower);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
