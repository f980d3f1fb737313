// The built quorvel program run unattended with profiles against a fresh
// reference directory: its exit status, its log entries and what it leaves in
// the directory.
#include <gtest/gtest.h>

#include <regex>

#include "support/EventLogCapture.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv::test;

namespace {

const std::string kDls = kDistributionLists;

class UnattendedRun : public ::testing::Test {
protected:
    // Writes a profile and runs quorvel on it with its own log file, runtime and config folders.
    CommandResult run(const std::string& target, const std::string& level = "0", const std::string& extra = "") {
        std::string profile = "[General]\nTarget=" + target + "\nLoggingLevel=" + level + "\n" + extra +
                              "[Authentication]\nUser=writer\nDomain=CORP\nPassword=writer-pw\n";
        writeFile(temp.file("run.ini"), profile);
        ::chmod(temp.file("run.ini").c_str(), 0600);
        return quorvel({temp.file("run.ini")});
    }
    CommandResult quorvel(const std::vector<std::string>& args) {
        std::vector<std::string> argv{binaryDir() + "/quorvel"};
        argv.insert(argv.end(), args.begin(), args.end());
        return runCommand(argv, environment());
    }
    std::map<std::string, std::string> environment() const {
        return {{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                {"XDG_RUNTIME_DIR", temp.path()},
                {"XDG_CONFIG_HOME", temp.file("config")},
                {"LDAPNOINIT", "1"}};
    }
    std::vector<LoggedEntry> entries() const { return parseEventLines(readFile(temp.file("events.jsonl"))); }
    std::string path(const std::string& dn) const { return dir.adsPath(dn); }

    ReferenceDirectory dir;
    LdapTool ldap{dir};
    TempDir temp;
};

std::set<std::string> sales(const LdapTool& ldap) {
    return ldap.dns(kSite, "(&(objectClass=organizationalPerson)(department=Sales))");
}

}  // namespace

TEST_F(UnattendedRun, OneDlAtEachLoggingLevel) {
    const std::string dl = path("cn=qvl-sales," + kDls);
    ASSERT_NE(ldap.members("cn=qvl-sales," + kDls), sales(ldap));

    auto r = run(dl, "0");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ldap.members("cn=qvl-sales," + kDls), sales(ldap));
    EXPECT_TRUE(entries().empty());  // nothing at level 0 when all goes well

    ldap.replace("cn=qvl-sales," + kDls, "member", {"cn=avries," + std::string(kRecipients)});
    r = run(dl, "1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto e = entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].message, "Quorvel is beginning a pass on  " + dl);
    EXPECT_TRUE(std::regex_match(
        e[1].message, std::regex("DL Completed\\.\r\n" + std::regex_replace(dl, std::regex(R"([.()\[\]])"), R"(\$&)") +
                                 "\r\nBefore membership: 1 members\r\nQuery results: " +
                                 std::to_string(sales(ldap).size()) + " members\r\nUpdated: True\r\n"
                                 "Time to process: \\d+:\\d\\d:\\d\\d")))
        << e[1].message;
    EXPECT_EQ(e[2].message, "Quorvel is ending a pass on " + dl);
    for (const auto& entry : e) {
        EXPECT_EQ(entry.source, "Quorvel");
        EXPECT_EQ(entry.type, 4);
        EXPECT_EQ(entry.category, 1);
        EXPECT_EQ(entry.eventId, 4096u);
    }
    // The step entries of level 2 are checked one by one in the engine's tests.
}

TEST_F(UnattendedRun, ContainerWithAFailingDlExitsOne) {
    auto r = run(path(kDls), "0");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ldap.members("cn=qvl-sales," + kDls), sales(ldap));
    auto errors = entries();
    ASSERT_FALSE(errors.empty());
    const std::string broken = path("cn=qvl-broken," + kDls);
    bool brokenLogged = false;
    for (const auto& e : errors)
        if (e.message == "Process:GetDL\r\n" + broken +
                             "\r\nError 2306[902] : The query syntax is questionable, aborting DL.")
            brokenLogged = e.type == 1 && e.eventId == 3221229569u;
    EXPECT_TRUE(brokenLogged);
    // The seed's managers list was already right: unchanged; the plain DL is not touched.
    EXPECT_EQ(ldap.members("cn=staff-social," + kDls).size(), 3u);

    EXPECT_EQ(run(path("cn=Europe,cn=Sales," + std::string(kRecipients)), "0").exitCode, 0);
    EXPECT_EQ(ldap.members("cn=qvl-europe,cn=Europe,cn=Sales," + std::string(kRecipients)),
              ldap.dns("cn=Europe,cn=Sales," + std::string(kRecipients), "(objectClass=organizationalPerson)", "one"));
}

TEST_F(UnattendedRun, ProblemsEndWithTheirExitStatus) {
    const std::string missing = path("cn=Nowhere," + std::string(kSite));
    auto r = run(missing, "0");
    EXPECT_EQ(r.exitCode, 1);
    auto e = entries();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].message, "Could not find object specified [" + missing + "]");
    EXPECT_EQ(e[0].type, 2);

    writeFile(temp.file("events.jsonl"), "");
    r = run("", "2");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(entries().empty());  // no target: nothing processed, nothing logged

    r = quorvel({temp.file("no-such-profile.ini")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no-such-profile.ini"), std::string::npos) << r.err;

    // A second instance while one runs: exit status 3, the first undisturbed.
    // flock(1) holds the instance lock (in XDG_RUNTIME_DIR) while quorvel starts.
    auto busy = runCommand({"flock", temp.file("quorvel.lock"), binaryDir() + "/quorvel", temp.file("run.ini")},
                           environment());
    EXPECT_EQ(busy.exitCode, 3) << busy.err;
    EXPECT_NE(busy.err.find("A previous instance of Quorvel is running."), std::string::npos);
}

namespace {

// How often `needle` occurs in `text`.
int occurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

}  // namespace

// What a pass asks of the directory, from slapd's log of every operation: one
// connection and bind, the root entry and the schema once, the target once,
// and per DL one read before its search and at most one write after it.
TEST_F(UnattendedRun, AContainerPassAsksTheDirectoryOnlyForWhatItNeeds) {
    const std::string logFile = dir.dir() + "/slapd.log";
    const std::size_t before = readFile(logFile).size();
    auto r = run(path(kDls), "0");
    EXPECT_EQ(r.exitCode, 1) << r.err;  // the seed's broken DL
    const std::string log = readFile(logFile).substr(before);

    EXPECT_EQ(occurrences(log, " ACCEPT from "), 1);
    EXPECT_EQ(occurrences(log, " BIND dn=\"dc=CORP,cn=writer\" method="), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"\" "), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"cn=Subschema\" "), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"" + kDls + "\" scope=0 "), 1);
    auto dls = ldap.dns(kDls, "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))");
    ASSERT_GE(dls.size(), 5u);
    int written = 0;
    for (const auto& dl : dls) {
        EXPECT_EQ(occurrences(log, " SRCH base=\"" + dl + "\" scope=0 "), 1) << dl;
        EXPECT_LE(occurrences(log, " MOD dn=\"" + dl + "\""), 1) << dl;
        written += occurrences(log, " MOD dn=\"" + dl + "\"");
    }
    EXPECT_GE(written, 1);
    EXPECT_EQ(occurrences(log, " MOD dn="), written);  // nothing else is written
}
