// Network and server faults between the unattended program and the directory:
// the real quorvel binary runs a container pass through a fault proxy while
// connections are refused, cut, silenced or slowed, and while slapd is
// stopped, frozen or killed at chosen moments. Whatever happens, every DL
// keeps its old membership or gets its whole new one, every failure has its
// error entry, the pass goes on with the next DL, and the run ends within the
// shortened timeouts with its exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "support/EventLogCapture.h"
#include "support/FaultProxy.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv::test;

namespace {

const std::string kLists = std::string("cn=Fault Lists,") + kSite;
const std::string kBulk = "ou=Bulk,o=Northwind Traders";
constexpr int kBulkPeople = 150;  // more than one page of 100
// The DLs in the order the pass meets them; the middle one takes the faults.
const std::vector<std::string> kAliases{"fl-a-sales", "fl-b-bulk", "fl-c-engineers"};
const char* kOperationTimeout = "3";
constexpr double kRunLimitSeconds = 60;  // far beyond what any bounded run needs

std::string dlDn(const std::string& alias) { return "cn=" + alias + "," + kLists; }

std::string dlEntry(const std::string& alias, const std::string& server, const std::string& base,
                    const std::string& filter, const std::string& scope, const std::vector<std::string>& members) {
    std::string ldif = "dn: " + dlDn(alias) + "\nobjectClass: groupOfNames\ncn: " + alias + "\nuid: " + alias +
                       "\nObj-View-Containers: " + kLists + "\nextension-attribute-15: QVL=<LDAP://" + server + "/" +
                       base + ">;" + filter + ";cn,ADsPath,distinguishedName;" + scope + "\n";
    for (const auto& member : members) ldif += "member: " + member + "\n";
    return ldif + "\n";
}

// The seed organisation plus ou=Bulk and the container of the fault DLs, whose
// queries name the proxy, so that every search and write passes through it.
std::string faultSeed(const std::string& proxy) {
    std::string seed = readFile(sourceDir() + "/refdir/seed.ldif.in") + "\n";
    seed += "dn: " + kBulk + "\nobjectClass: organizationalUnit\nou: Bulk\n\n";
    for (int i = 0; i < kBulkPeople; ++i) {
        char cn[16];
        std::snprintf(cn, sizeof cn, "bulk%03d", i);
        seed += "dn: cn=" + std::string(cn) + "," + kBulk + "\nobjectClass: organizationalPerson\ncn: " + cn +
                "\nuid: " + cn + "\n\n";
    }
    seed += "dn: " + kLists + "\nobjectClass: Container\ncn: Fault Lists\n\n";
    const std::string someone = "cn=bulk000," + kBulk;
    seed += dlEntry(kAliases[0], proxy, kSite, "(&(objectClass=organizationalPerson)(department=Sales))", "subtree",
                    {someone});
    seed += dlEntry(kAliases[1], proxy, kBulk, "(objectClass=organizationalPerson)", "oneLevel",
                    {std::string("cn=avries,") + kRecipients, std::string("cn=cbakker,") + kRecipients});
    seed += dlEntry(kAliases[2], proxy, kSite, "(&(objectClass=organizationalPerson)(title=*Engineer))", "subtree",
                    {someone});
    return seed;
}

struct RunOutcome {
    CommandResult command;
    std::vector<LoggedEntry> entries;
    double seconds = 0;
    std::vector<LoggedEntry> errors() const {
        std::vector<LoggedEntry> out;
        for (const auto& e : entries)
            if (e.type == 1) out.push_back(e);
        return out;
    }
};

class FaultInjection : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        seedFolder = std::make_unique<TempDir>();
        proxy = std::make_unique<FaultProxy>();
        writeFile(seedFolder->file("seed.ldif"), faultSeed(proxy->server()));
        RefDirOptions options;
        options.seedFile = seedFolder->file("seed.ldif");
        dir = std::make_unique<ReferenceDirectory>(options);
        proxy->setUpstream(dir->server());
        LdapTool ldap(*dir);
        for (const auto& alias : kAliases) before[alias] = ldap.members(dlDn(alias));
        after[kAliases[0]] = ldap.dns(kSite, "(&(objectClass=organizationalPerson)(department=Sales))");
        after[kAliases[1]] = ldap.dns(kBulk, "(objectClass=organizationalPerson)", "one");
        after[kAliases[2]] = ldap.dns(kSite, "(&(objectClass=organizationalPerson)(title=*Engineer))");
        for (const auto& alias : kAliases) ASSERT_NE(before[alias], after[alias]) << alias;
        ASSERT_EQ(after[kAliases[1]].size(), std::size_t(kBulkPeople));
    }
    static void TearDownTestSuite() {
        proxy.reset();
        dir.reset();
        seedFolder.reset();
    }

    // Every scenario starts from the seeded memberships with a plain proxy and a running server.
    void restore() {
        proxy->reset();
        dir->thaw();
        if (!dir->running()) dir->resume();
        LdapTool ldap(*dir);
        for (const auto& alias : kAliases)
            ldap.replace(dlDn(alias), "member", {before[alias].begin(), before[alias].end()});
    }
    void SetUp() override { restore(); }
    void TearDown() override {
        proxy->reset();
        dir->thaw();
        if (!dir->running()) dir->resume();
    }

    std::string target() const { return "LDAP://" + proxy->server() + "/" + kLists; }
    std::string pathOf(const std::string& alias) const { return "LDAP://" + proxy->server() + "/" + dlDn(alias); }

    // Runs quorvel on a container profile through the proxy, with short timeouts.
    RunOutcome run() {
        writeFile(temp.file("run.ini"), "[General]\nTarget=" + target() +
                                            "\nLoggingLevel=1\n[Authentication]\nUser=writer\nDomain=CORP\n"
                                            "Password=writer-pw\n");
        ::chmod(temp.file("run.ini").c_str(), 0600);
        writeFile(temp.file("events.jsonl"), "");
        std::map<std::string, std::string> env{{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                                               {"XDG_RUNTIME_DIR", temp.path()},
                                               {"XDG_CONFIG_HOME", temp.file("config")},
                                               {"LDAPNOINIT", "1"},
                                               {"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"},
                                               {"QUORVEL_LDAP_TIMEOUT", kOperationTimeout}};
        RunOutcome outcome;
        auto start = std::chrono::steady_clock::now();
        outcome.command = runCommand({binaryDir() + "/quorvel", temp.file("run.ini")}, env, {}, kRunLimitSeconds);
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.entries = parseEventLines(readFile(temp.file("events.jsonl")));
        return outcome;
    }

    std::set<std::string> members(const std::string& alias) const { return LdapTool(*dir).members(dlDn(alias)); }

    // Old, new or neither ("PARTIAL"); never a mixture may come out of a fault.
    std::string state(const std::string& alias) const {
        auto now = members(alias);
        return now == before[alias] ? "old" : now == after[alias] ? "new" : "PARTIAL";
    }

    // The checks every scenario shares; `failing` is the DL the fault hit
    // ("" when none failed). Prints the scenario's line of the fault table.
    void expectOutcome(const RunOutcome& r, const char* name, const std::string& failing,
                       const std::set<std::string>& allowed) {
        dir->thaw();  // a run cut short before its next DL must not leave the checks to a frozen server
        std::printf("| %s | exit %d | %s %s %s | %.1f s |\n", name, r.command.exitCode,
                    state(kAliases[0]).c_str(), state(kAliases[1]).c_str(), state(kAliases[2]).c_str(), r.seconds);
        EXPECT_EQ(r.command.exitCode, failing.empty() ? 0 : 1) << r.command.err;
        for (const auto& alias : kAliases) {
            if (alias == failing)
                EXPECT_TRUE(allowed.count(state(alias))) << alias << " is " << state(alias);
            else
                EXPECT_EQ(state(alias), "new") << alias;  // the pass went on, the server was back
        }
        std::size_t completed = 0;
        for (const auto& e : r.entries)
            if (e.message.rfind("DL Completed.\r\n", 0) == 0) ++completed;
        EXPECT_EQ(completed, failing.empty() ? kAliases.size() : kAliases.size() - 1);
        EXPECT_EQ(r.errors().size(), failing.empty() ? 0u : 1u);
        for (const auto& e : r.errors()) EXPECT_EQ(e.eventId, 3221229569u);
        ASSERT_FALSE(r.entries.empty());
        EXPECT_EQ(r.entries.back().message, "Quorvel is ending a pass on all Quorvel distribution lists in " + target());
    }

    // The one error entry of a run.
    std::string errorText(const RunOutcome& r) const {
        auto errors = r.errors();
        return errors.empty() ? std::string() : errors.front().message;
    }
    std::string searchStep() const { return "Process:Open:<LDAP://" + proxy->server() + "/" + kBulk + ">;"; }
    std::string writeFailure(const std::string& alias) const {
        return "p_UpdateDLWithQuery:PutEX\r\nExchange server not found or not operational\r\n" + pathOf(alias);
    }

    static std::unique_ptr<TempDir> seedFolder;
    static std::unique_ptr<FaultProxy> proxy;
    static std::unique_ptr<ReferenceDirectory> dir;
    static std::map<std::string, std::set<std::string>> before, after;
    TempDir temp;
};

std::unique_ptr<TempDir> FaultInjection::seedFolder;
std::unique_ptr<FaultProxy> FaultInjection::proxy;
std::unique_ptr<ReferenceDirectory> FaultInjection::dir;
std::map<std::string, std::set<std::string>> FaultInjection::before, FaultInjection::after;

}  // namespace

TEST_F(FaultInjection, ServerStoppedBeforeThePass) {
    dir->stop();
    auto r = run();
    std::printf("| %s | exit %d | %.1f s |\n", ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                r.command.exitCode, r.seconds);
    dir->resume();
    EXPECT_EQ(r.command.exitCode, 1);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].message, "Could not find object specified [" + target() + "]");
    EXPECT_EQ(r.entries[0].type, 2);
    EXPECT_NE(r.command.err.find("Error -2147016646 [8007203A]"), std::string::npos) << r.command.err;
    for (const auto& alias : kAliases) EXPECT_EQ(state(alias), "old") << alias;
}

// The fault matrix: one row per fault, the middle DL (fl-b-bulk) taking it.
TEST_F(FaultInjection, EachFaultCostsAtMostTheDlItHits) {
    enum Step { NoError, SearchError, WriteError };
    struct Scenario {
        const char* name;
        std::optional<Fault> fault;
        std::set<std::string> allowed;  // the states the hit DL may be left in; empty: nothing fails
        Step error;
    };
    const std::string bulkDl = dlDn(kAliases[1]);
    const Scenario scenarios[] = {
        {"NoFault", std::nullopt, {}, NoError},
        {"CutAfterTheFirstPage", Fault::on(LdapOp::Search, kBulk, 2).cutBefore(), {"old"}, SearchError},
        {"CutInTheSecondPage", Fault::on(LdapOp::Search, kBulk, 2).cutAfter(1500), {"old"}, SearchError},
        {"CutBeforeTheWriteServerAway", Fault::on(LdapOp::Modify, bulkDl).cutBefore().thenRefuse(1), {"old"},
         WriteError},
        // One replace sent again on a new connection: nothing failed, nothing half done.
        {"CutBeforeTheWrite", Fault::on(LdapOp::Modify, bulkDl).cutBefore(), {}, NoError},
        // The server applied the replace; its answer never arrived.
        {"CutAfterTheWriteServerAway", Fault::on(LdapOp::Modify, bulkDl).cutAfter(0).thenRefuse(1), {"new"},
         WriteError},
        {"CutAfterTheWrite", Fault::on(LdapOp::Modify, bulkDl).cutAfter(0), {}, NoError},
        {"FrozenDuringTheSearch", Fault::on(LdapOp::Search, kBulk).pass().withHook([] {
             dir->freeze();
             proxy->onNextConnection([] { dir->thaw(); });  // back for the next DL
         }),
         {"old"}, SearchError},
        // The frozen server holds the replace; once thawed it may still apply it.
        {"FrozenDuringTheWrite", Fault::on(LdapOp::Modify, bulkDl).pass().withHook([] {
             dir->freeze();
             proxy->onNextConnection([] { dir->thaw(); });
         }),
         {"old", "new"}, WriteError},
        {"SilentDuringTheWrite", Fault::on(LdapOp::Modify, bulkDl).stall(), {"old"}, WriteError},
        {"KilledAfterTheFirstPage", Fault::on(LdapOp::Search, kBulk, 2).pass().withHook([] {
             dir->kill();
             proxy->onNextConnection([] { dir->resume(); });
         }),
         {"old"}, SearchError},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        restore();
        if (scenario.fault) proxy->arm(*scenario.fault);
        auto r = run();
        EXPECT_EQ(proxy->fired(), scenario.fault ? 1 : 0);
        expectOutcome(r, scenario.name, scenario.allowed.empty() ? "" : kAliases[1], scenario.allowed);
        if (scenario.error == WriteError) {
            EXPECT_EQ(errorText(r), writeFailure(kAliases[1]));
        } else if (scenario.error == SearchError) {
            EXPECT_EQ(errorText(r).rfind(searchStep(), 0), 0u) << errorText(r);
            EXPECT_NE(errorText(r).find(pathOf(kAliases[1])), std::string::npos) << errorText(r);
        }
    }
}

TEST_F(FaultInjection, SlowLinkCompletes) {
    proxy->slow(std::chrono::milliseconds(5), 256);
    expectOutcome(run(), "SlowLinkCompletes", "", {});
}
