// The gate of incremental passes: the real program, Incremental=true, against
// a reference directory that serves content synchronisation, after rounds of
// random changes (people added, deleted, renamed, moved out of a query's
// base, attributes changed into and out of filters, DLs edited by hand, DL
// definitions changed). After each pass every DL must hold exactly what its
// query finds, and only the DLs someone else touched may have had their
// members read. A preview, a safeguard's refusal and connections cut in the
// middle of a sync search, or just before or after a write reached the
// server, must leave a state from which the next pass is right. The seed is
// printed; QUORVEL_GATE_SEED and QUORVEL_GATE_ROUNDS replay or lengthen a run.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
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
    explicit IncrementalGate(std::string dbConf = {})
        : dir([&] { RefDirOptions o; o.sync = true; o.dbConf = std::move(dbConf); return o; }()), proxy(dir.server()) {}

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
        addDl({kSiteDn, "(objectClass=organizationalPerson)", "sub"});  // more than the limited account's 10
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }
    template <class T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[pick(N)]; }
    std::string anyPerson() { return people[pick(people.size())]; }

    std::string definition(const Query& q) const {
        return "QVL=<LDAP://" + proxy.server() + "/" + q.base + ">;" + q.filter + ";cn,ADsPath,distinguishedName;" +
               (q.scope == "one" ? "onelevel" : "subtree");
    }
    void addPerson(std::string container = {}, std::string department = {}) {
        const std::string name = "p" + std::to_string(serial++);
        if (container.empty()) container = pick(2) ? kGateA : kGateB;
        if (department.empty()) department = pick(kDepartments);
        const std::string dn = "cn=" + name + "," + container;
        ldap.add("dn: " + dn + "\nobjectClass: organizationalPerson\ncn: " + name + "\ndepartment: " + department +
                 "\nl: " + pick(kCities) + "\n");
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
                                             "\n[Authentication]\nUser=writer\nDomain=CORP\nPassword=writer-pw\nAdmin=" +
                                             (admin ? "true" : "false") + "\n");
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

    // A pass through the proxy with `fault` armed; it must fire.
    void cut(Fault fault) {
        proxy.arm(std::move(fault));
        pass();
        EXPECT_EQ(proxy.fired(), 1) << "seed " << seed;
        proxy.reset();
    }

    // The preview of an incremental pass is the preview of a full one, names compared as sets.
    void expectPreviewOfAFullPass() {
        const auto incremental = pass({"--dry-run", "--json"}), full = pass({"--dry-run", "--json", "--full"});
        ASSERT_EQ(incremental.exitCode, full.exitCode) << incremental.err << full.err;
        auto records = [](const std::string& text) {  // each DL's record with its names in order
            std::set<std::string> sorted;
            std::istringstream in(text);
            for (std::string line; std::getline(in, line);) {
                auto json = nlohmann::json::parse(line);
                for (const char* names : {"added", "removed"}) std::sort(json[names].begin(), json[names].end());
                sorted.insert(json.dump());
            }
            return sorted;
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
    bool admin = false;  // the pass binds as the writer's admin form
};

TEST_F(IncrementalGate, EveryDlHoldsWhatItsQueryFindsAfterEachRound) {
    const unsigned rounds = setting("QUORVEL_GATE_ROUNDS", 24);
    auto r = pass();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectEveryDlRight("after the first pass");
    EXPECT_EQ(membersRead, long(dls.size()));  // no state yet: every DL in full
    for (unsigned round = 1; round <= rounds && !HasFailure(); ++round) {
        const std::string when = "after round " + std::to_string(round);
        touched.clear();
        for (std::size_t n = round % 12 == 8 ? 0 : 1 + pick(6); n > 0; --n) change();  // 8, 20: a preview of no change
        switch (round % 6) {
            case 2: {
                const std::string before = state();
                expectPreviewOfAFullPass();
                EXPECT_EQ(state(), before) << "a preview saved the state";
                break;
            }
            case 3:  // a connection cut in the middle of a sync search (one per query base at least)
                cut(Fault::on(LdapOp::Search, kSyncControl, int(1 + pick(4))).cutAfter(pick(24)).thenRefuse(2));
                break;
            case 4:  // a refused change leaves its DL's state as it was
                ASSERT_NE(pass({}, "MaxRemoveCount=0").exitCode, 2);
                break;
            case 5: {  // a connection cut just before or just after a write reached the server
                addPerson(kGateA, "Sales");
                Fault write = Fault::on(LdapOp::Modify, "", 1);
                cut(pick(2) ? write.cutBefore().thenRefuse(2) : write.cutAfter(0).thenRefuse(2));
                break;
            }
        }
        const bool full = round % 6 == 1;  // --full: every DL read whole, and its state starts anew
        r = full ? pass({"--full"}) : pass();
        ASSERT_EQ(r.exitCode, 0) << when << ": " << r.err;
        expectEveryDlRight(when);
        if (round % 6 < 3) {  // after a failed or refused pass the DLs written then are read too
            EXPECT_EQ(membersRead, long(full ? dls.size() : touched.size()))
                << when << ": only the DLs edited by hand or redefined";
        }
    }
    std::cout << "incremental gate: " << rounds << " rounds, " << people.size() << " people, " << dls.size()
              << " DLs\n";
}

// Where the server cuts a search that is not paged short (here Quorvel's
// account at 10 entries), a DL's query runs in full with the paged search and the next
// pass resumes from a cookie all the same.
class SizeLimitedGate : public IncrementalGate {
protected:
    SizeLimitedGate()
        : IncrementalGate("limits dn.exact=\"dc=CORP,cn=writer,cn=admin\" size=10 size.pr=unlimited "
                          "size.prtotal=unlimited\n") {
        admin = true;
    }
};

TEST_F(SizeLimitedGate, ADlOfMoreNamesThanASearchMayReturnGetsAState) {
    auto r = pass();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectEveryDlRight("after the first pass");
    for (int n = 0; n < 6; ++n) change();
    r = pass();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectEveryDlRight("after a pass from that state");
    EXPECT_EQ(membersRead, long(touched.size()));
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
