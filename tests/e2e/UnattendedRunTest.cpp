// The built quorvel program run unattended with profiles against a fresh
// reference directory: its exit status, its log entries, its metrics file,
// its preview (--dry-run), the removal safeguards of a profile and what it
// leaves in the directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "platform/EventLog.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv::test;
using Json = nlohmann::json;

namespace {

const std::string kDls = kDistributionLists;
const std::string kSales = "cn=qvl-sales," + kDls;
const std::string kNobody = "cn=qvl-nobody," + kDls;
using Lists = std::map<std::string, std::set<std::string>>;

std::vector<Json> jsonLines(const std::string& text) {
    std::vector<Json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    return lines;
}

class UnattendedRun : public ::testing::Test {
protected:
    explicit UnattendedRun(RefDirOptions options = {}) : dir(std::move(options)) {}
    // Writes a profile and runs quorvel on it with its own log, metrics, runtime and config folders.
    CommandResult run(const std::string& target, const std::string& level = "0", std::vector<std::string> options = {},
                      const std::string& safeguards = "", const std::string& password = "writer-pw") {
        writeFile(temp.file("run.ini"), "[General]\nTarget=" + target + "\nLoggingLevel=" + level +
                                            "\n[Safeguards]\n" + safeguards +
                                            "\n[Authentication]\nUser=writer\nDomain=CORP\nPassword=" + password + "\n");
        ::chmod(temp.file("run.ini").c_str(), 0600);
        ::unlink(temp.file("events.jsonl").c_str());
        options.push_back(temp.file("run.ini"));
        return quorvel(options);
    }
    CommandResult quorvel(std::vector<std::string> args, const std::map<std::string, std::string>& extra = {}) {
        args.insert(args.begin(), binaryDir() + "/quorvel");
        auto env = environment();
        env.insert(extra.begin(), extra.end());
        return runCommand(args, env);
    }
    std::map<std::string, std::string> environment() const {
        return {{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                {"QUORVEL_METRICS_FILE", temp.file("quorvel.prom")},
                {"XDG_RUNTIME_DIR", temp.path()},
                {"XDG_CONFIG_HOME", temp.file("config")},
                {"LDAPNOINIT", "1"}};
    }
    std::vector<Json> entries() const { return jsonLines(readFile(temp.file("events.jsonl"))); }
    std::string path(const std::string& dn) const { return dir.adsPath(dn); }
    // The value of one metric; NaN when the file does not give it with its help and type.
    double metric(const std::string& name) const {
        std::smatch m;
        const std::string text = readFile(temp.file("quorvel.prom"));
        const std::regex pattern("# HELP " + name + " [^\n]+\n# TYPE " + name + " gauge\n" + name +
                                 "\\{profile=\"run\"\\} (\\S+)\n");
        return std::regex_search(text, m, pattern) ? std::stod(m[1]) : std::nan("");
    }
    Lists lists() const {
        Lists result;
        for (const auto& dl : ldap.dns(kOrg, "(objectClass=groupOfNames)")) result[dl] = ldap.members(dl);
        return result;
    }
    void restore(const Lists& saved) const {
        for (const auto& [dl, members] : saved) ldap.replace(dl, "member", {members.begin(), members.end()});
    }
    std::set<std::string> people(const std::string& department) const {
        return ldap.dns(kSite, "(&(objectClass=organizationalPerson)(department=" + department + "))");
    }

    ReferenceDirectory dir;
    LdapTool ldap{dir};
    TempDir temp;
};


std::set<std::string> minus(const std::set<std::string>& a, const std::set<std::string>& b) {
    std::set<std::string> result;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(result, result.end()));
    return result;
}

std::set<std::string> names(const Json& list) { return list.get<std::set<std::string>>(); }

std::string withoutTime(const std::string& message) {
    return std::regex_replace(message, std::regex("Time to process: .*"), "");
}

}  // namespace

TEST_F(UnattendedRun, OneDlAtEachLoggingLevel) {
    const std::string dl = path(kSales);
    ASSERT_NE(ldap.members(kSales), people("Sales"));

    auto r = run(dl, "0");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ldap.members(kSales), people("Sales"));
    EXPECT_TRUE(entries().empty());  // nothing at level 0 when all goes well
    EXPECT_EQ(r.out + r.err, "");    // nor on the terminal: cron mails any output

    ldap.replace(kSales, "member", {"cn=avries," + std::string(kRecipients)});
    r = run(dl, "1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto e = entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0]["message"], "Quorvel is beginning a pass on  " + dl);
    const std::string summary = e[1]["message"];
    EXPECT_EQ(summary.rfind("DL Completed.\r\n" + dl + "\r\nBefore membership: 1 members", 0), 0u) << summary;
    EXPECT_EQ(e[2]["message"], "Quorvel is ending a pass on " + dl);
    for (const auto& entry : e) EXPECT_EQ(entry["dl"], dl);  // every entry is about the one DL
}

TEST_F(UnattendedRun, ProblemsEndWithTheirExitStatus) {
    const std::string missing = path("cn=Nowhere," + std::string(kSite));
    auto r = run(missing, "0");
    EXPECT_EQ(r.exitCode, 1);
    auto e = entries();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0]["message"], "Could not find object specified [" + missing + "]");
    EXPECT_EQ(e[0]["type"], 2);

    writeFile(temp.file("events.jsonl"), "");
    r = run("", "2");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(entries().empty());  // no target: nothing processed, nothing logged

    r = quorvel({temp.file("no-such-profile.ini")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no-such-profile.ini"), std::string::npos) << r.err;

    // A refused account: the entry carries the directory's answer, which standard error
    // gives too, and the account is tried once.
    const std::string logFile = dir.dir() + "/slapd.log";
    const std::size_t before = readFile(logFile).size();
    r = run(path(kSales), "0", {}, "", "wrong");
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0]["reason"].get<std::string>().rfind("Invalid credentials", 0), 0u);
    EXPECT_NE(r.err.find("Invalid credentials"), std::string::npos) << r.err;
    EXPECT_EQ(occurrences(readFile(logFile).substr(before), " BIND dn=\"dc=CORP,cn=writer\""), 1);
}

// What the command line or the profile gets wrong is said on standard error, before anything is processed.
TEST_F(UnattendedRun, TheCommandLineAndTheProfileSayWhatIsWrong) {
    const std::string profile = temp.file("p.ini"), account = "[Authentication]\nUser=writer\nDomain=CORP\n";
    struct Row {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        std::string profile;  // written to p.ini when not empty
        int exitCode;
        std::vector<std::string> said;
    };
    const Row rows[] = {
        {{profile, "--dry-run"}, {}, "", 2, {"options go before the profile: quorvel --dry-run " + profile}},
        {{"-h"}, {}, "", 0, {}},
        {{"--force=qvl-sales", profile}, {}, "", 2, {"--force needs the DL's ADsPath (LDAP://host/DN), not qvl-sales"}},
        {{"nightly.ini"}, {}, "", 2, {"write ./nightly.ini for a profile in the current folder"}},
        {{profile}, {{"QUORVEL_LDAP_TIMEOUT", "abc"}}, "[General]\nTarget=x\n", 2, {"QUORVEL_LDAP_TIMEOUT=abc is not"}},
        {{}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}, "", 2, {"run quorvel PROFILE"}},
        {{profile}, {}, "[General]\nTarget=" + path(kSales) + "\n[Safeguards]\nMaxRemovePercnt=0\n" + account, 2,
         {"line 4: unknown key MaxRemovePercnt in [Safeguards] (did you mean MaxRemovePercent?)"}},
        {{"--full", profile}, {}, "[General]\nTarget=" + path(kSales) + "\nIncremental=true\nFullPassEvery=3w\n" + account, 2,
         {"FullPassEvery=3w is not valid: it takes a whole number with s, m, h or d"}},
        {{profile}, {}, "[General]\nTarget=" + path(kSales) + "\nLogLevel=2\n[Safegaurds]\nMaxRemovePercent=0\n" + account, 1,
         {"warning: " + profile + " line 3: unknown key LogLevel in [General] (did you mean LoggingLevel?)",
          "line 4: unknown section [Safegaurds] (did you mean [Safeguards]?)"}},
    };
    const auto sales = ldap.members(kSales);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.profile);
        ::unlink(profile.c_str());
        if (!row.profile.empty()) writeFile(profile, row.profile);
        const auto r = quorvel(row.args, row.environment);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        for (const auto& text : row.said) EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(ldap.members(kSales), sales);  // nothing is written: the last row's account has no password
    }
}

// What a pass asks of the directory, from slapd's log of every operation: one
// connection and bind, the root entry and the schema once, the target once,
// and per DL one read before its search and at most one write after it.
// A container pass goes on after a failing DL (the seed's broken one) and exits 1.
TEST_F(UnattendedRun, AContainerPassGoesOnAfterAFailingDlAndAsksOnlyForWhatItNeeds) {
    const std::string logFile = dir.dir() + "/slapd.log";
    const std::size_t before = readFile(logFile).size();
    auto r = run(path(kDls), "0");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string log = readFile(logFile).substr(before);
    EXPECT_EQ(ldap.members(kSales), people("Sales"));
    const auto e = entries();  // the seed's broken DL: its one error entry
    EXPECT_EQ(std::count_if(e.begin(), e.end(), [](const Json& entry) { return entry["type"] == 1; }), 1);
    // The seed's managers list was already right: unchanged; the plain DL is not touched.
    EXPECT_EQ(ldap.members("cn=staff-social," + kDls).size(), 3u);

    EXPECT_EQ(occurrences(log, " ACCEPT from "), 1);
    EXPECT_EQ(occurrences(log, " BIND dn=\"dc=CORP,cn=writer\" method="), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"\" "), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"cn=Subschema\" "), 1);
    EXPECT_EQ(occurrences(log, " SRCH base=\"" + kDls + "\" scope=0 "), 1);
    auto dls = ldap.dns(kDls, "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))");
    ASSERT_GE(dls.size(), 5u);
    const std::string broken = path("cn=qvl-broken," + kDls);
    EXPECT_EQ(r.err, "quorvel: failed: " + broken + ": The query syntax is questionable, aborting DL.\nquorvel: " +
                         std::to_string(dls.size()) + " DLs, 1 failed\n");
    int written = 0;
    for (const auto& dl : dls) {
        EXPECT_EQ(occurrences(log, " SRCH base=\"" + dl + "\" scope=0 "), 1) << dl;
        EXPECT_LE(occurrences(log, " MOD dn=\"" + dl + "\""), 1) << dl;
        written += occurrences(log, " MOD dn=\"" + dl + "\"");
    }
    EXPECT_GE(written, 1);
    EXPECT_EQ(occurrences(log, " MOD dn="), written);  // nothing else is written

    EXPECT_EQ(run(path("cn=Europe,cn=Sales," + std::string(kRecipients)), "0").exitCode, 0);
    EXPECT_EQ(ldap.members("cn=qvl-europe,cn=Europe,cn=Sales," + std::string(kRecipients)),
              ldap.dns("cn=Europe,cn=Sales," + std::string(kRecipients), "(objectClass=organizationalPerson)", "one"));
}

TEST_F(UnattendedRun, APreviewAppliedWithLdapmodifyEqualsARealPass) {
    // A member whose name LDIF carries in base64, and a DL the pass empties.
    const std::string zoe = "cn=Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m,cn=Sales," + std::string(kRecipients);
    ldap.add("dn: " + zoe + "\nobjectClass: organizationalPerson\ncn: Zoe\nsn: Angstrom\ndepartment: Sales\n");
    ldap.replace(kNobody, "member", {*people("Sales").begin()});
    const Lists before = lists();
    restore(before);  // the stored order the real pass starts from too: its first-difference entries match

    auto preview = run(path(kDls), "2", {"--dry-run"});
    EXPECT_EQ(preview.exitCode, 1) << preview.err;  // the seed's broken DL fails the real pass too
    EXPECT_EQ(lists(), before);
    EXPECT_NE(preview.out.find("member:: "), std::string::npos);
    EXPECT_NE(preview.out.find("replace: member\n-\n"), std::string::npos);
    EXPECT_FALSE(std::ifstream(temp.file("quorvel.prom")));  // a preview leaves the metrics alone
    std::vector<std::string> previewMessages;
    for (const auto& e : entries()) {
        EXPECT_EQ(e.value("preview", false), true);
        previewMessages.push_back(withoutTime(e["message"]));
    }

    auto json = run(path(kDls), "1", {"-n", "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const auto outcomes = jsonLines(json.out);
    ldap.modify(preview.out);
    const Lists applied = lists();
    ASSERT_NE(applied, before);
    restore(before);

    auto real = run(path(kDls), "2");
    EXPECT_EQ(real.exitCode, 1) << real.err;
    EXPECT_EQ(lists(), applied);
    std::vector<std::string> realMessages;
    std::map<std::string, Json> summaries;
    for (const auto& e : entries()) {
        const std::string message = e["message"];
        realMessages.push_back(withoutTime(message));
        EXPECT_FALSE(e.contains("preview"));
        EXPECT_EQ(e.contains("added") && e.contains("removed"), message.rfind("DL Completed.", 0) == 0) << message;
        if (e.contains("added")) summaries[message.substr(15, message.find("\r\nBefore") - 15)] = e;
    }
    EXPECT_EQ(previewMessages, realMessages);

    ASSERT_GE(outcomes.size(), 6u);
    for (const auto& o : outcomes) {
        const std::string dl = o["dn"];
        SCOPED_TRACE(dl);
        EXPECT_EQ(o["adspath"], dir.adsPath(dl));
        EXPECT_EQ(o["before"], before.at(dl).size());
        EXPECT_EQ(o["after"], applied.at(dl).size());
        EXPECT_EQ(names(o["added"]), minus(applied.at(dl), before.at(dl)));
        EXPECT_EQ(names(o["removed"]), minus(before.at(dl), applied.at(dl)));
        EXPECT_TRUE(o["refused"].is_null());
        const Json& summary = summaries.at(dir.adsPath(dl));
        EXPECT_EQ(names(summary["added"]), names(o["added"]));
        EXPECT_EQ(names(summary["removed"]), names(o["removed"]));
    }
    EXPECT_TRUE(names(summaries.at(dir.adsPath("cn=qvl-managers," + kDls))["added"]).empty());

    EXPECT_EQ(metric("quorvel_pass_success"), 0);
    EXPECT_EQ(metric("quorvel_dls_processed"), double(outcomes.size() + 1));
    EXPECT_EQ(metric("quorvel_dls_failed"), 1);
    EXPECT_EQ(metric("quorvel_dls_refused_by_safeguard"), 0);
    EXPECT_GE(metric("quorvel_pass_duration_seconds"), 0);
    EXPECT_NEAR(metric("quorvel_pass_end_time_seconds"), double(std::time(nullptr)), 60);
    double added = 0, removed = 0;
    for (const auto& o : outcomes) added += double(o["added"].size()), removed += double(o["removed"].size());
    EXPECT_EQ(metric("quorvel_members_added"), added);
    EXPECT_EQ(metric("quorvel_members_removed"), removed);
}

// qvl-sales holds its 18 people and 8 others (26 members; the pass removes 8),
// qvl-nobody 8 people whom the pass removes all.
TEST_F(UnattendedRun, EachSafeguardRefusesOnlyWhatExceedsIt) {
    struct Row {
        const char* safeguards;
        std::string dl;
        std::vector<std::string> options;
        const char* limit;  // the limit the error entry names; null when the change is written
        int exitCode;
    };
    const Row rows[] = {
        {"", kSales, {}, nullptr, 0},
        {"MaxRemoveCount=7", kSales, {}, "MaxRemoveCount=7 (8 members would be removed)", 1},
        {"MaxRemoveCount=8", kSales, {}, nullptr, 0},
        {"MaxRemovePercent=30", kSales, {}, "MaxRemovePercent=30 (8 members of 26, 31%, would be removed)", 1},
        {"MaxRemovePercent=31", kSales, {}, nullptr, 0},
        {"MaxRemovePercent=30\nMinMembers=27", kSales, {}, nullptr, 0},
        {"MaxRemovePercent=30\nMinMembers=26", kSales, {},
         "MaxRemovePercent=30 (8 members of 26, 31%, would be removed)", 1},
        {"MaxRemovePercent=100\nMinMembers=1", kNobody, {}, nullptr, 0},
        {"MaxRemoveCount=0\nMaxRemovePercent=0", kSales, {"--force"}, nullptr, 0},
        {"AllowEmpty=false", kSales, {}, nullptr, 0},
        {"AllowEmpty=false", kNobody, {}, "AllowEmpty=false (the DL would be emptied)", 1},
        {"AllowEmpty=TRUE\nMaxRemovePercent=0", kNobody, {}, nullptr, 0},
        {"MaxRemoveCount=7", kSales, {"--dry-run", "--json"}, "MaxRemoveCount=7 (8 members would be removed)", 1},
        {"AllowEmpty=false", kNobody, {"--dry-run"}, "AllowEmpty=false (the DL would be emptied)", 1},
        {"MaxRemoveCount=0", kNobody, {"--force=" + path("CN=QVL-Nobody," + kDls)}, nullptr, 0},
        {"MaxRemoveCount=0", kNobody, {"--force=" + path(kSales)}, "MaxRemoveCount=0 (8 members would be removed)", 1},
    };
    const auto sales = people("Sales");
    ASSERT_EQ(sales.size(), 18u);
    auto others = people("Engineering");
    others.erase(std::next(others.begin(), 8), others.end());
    ASSERT_EQ(others.size(), 8u);
    std::set<std::string> salesBefore = sales;
    salesBefore.insert(others.begin(), others.end());
    const std::map<std::string, std::pair<std::set<std::string>, std::set<std::string>>> states = {
        {kSales, {salesBefore, sales}}, {kNobody, {others, {}}}};

    for (const auto& row : rows) {
        SCOPED_TRACE(row.safeguards + (" on " + row.dl));
        const auto& [current, wanted] = states.at(row.dl);
        ldap.replace(row.dl, "member", {current.begin(), current.end()});
        auto r = run(path(row.dl), "0", row.options, row.safeguards);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        const bool preview = !row.options.empty() && row.options[0] == "--dry-run";
        EXPECT_EQ(ldap.members(row.dl), row.limit || preview ? current : wanted);
        std::vector<Json> errors;
        for (const auto& e : entries())
            if (e["type"] == 1) errors.push_back(e);
        ASSERT_EQ(errors.size(), row.limit ? 1u : 0u);
        EXPECT_EQ(r.err, row.limit ? "quorvel: refused by a safeguard: " + dir.adsPath(row.dl) + ": " + row.limit +
                                         "\nquorvel: 1 DL, 1 refused by a safeguard\n"
                                   : "");
        if (!row.limit) continue;
        EXPECT_EQ(errors[0]["event_id"], 3221229569u);
        const std::string message = errors[0]["message"];
        for (const auto& part : {dir.adsPath(row.dl), "\r\nCurrent membership: " +
                                           std::to_string(current.size()) + " members\r\nNew membership: " +
                                           std::to_string(wanted.size()) + " members\r\nLimit: " + row.limit})
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_NE(message.find("\r\nquorvel --force='" + dir.adsPath(row.dl) + "' PROFILE writes it"),
                  std::string::npos);
        if (preview && row.options.size() > 1) {
            EXPECT_EQ(jsonLines(r.out).at(0)["refused"], row.limit);
        } else if (preview) {  // nothing but a comment: ldapmodify of it leaves the DL alone
            EXPECT_EQ(r.out, "version: 1\n\n# not written, " + std::string(row.limit) + ": " + row.dl + "\n");
        } else {  // a preview leaves the metrics file alone
            EXPECT_EQ(metric("quorvel_dls_refused_by_safeguard"), 1);
        }
    }

    // Two members held in another spelling are the same names: nothing to refuse. The DL is
    // rewritten in the query's spelling (by ldapmodify of the preview alike), and nobody counts
    // as added or removed.
    std::vector<std::string> respelled(sales.begin(), sales.end());
    for (auto* name : {&respelled[0], &respelled[1]})
        std::transform(name->begin(), name->begin() + long(name->find(',')), name->begin(), ::toupper);
    for (const bool preview : {true, false}) {
        ldap.replace(kSales, "member", respelled);
        auto r = run(path(kSales), "1", preview ? std::vector<std::string>{"-n"} : std::vector<std::string>{},
                     "MaxRemovePercent=10\nMinMembers=1");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        if (preview) ldap.modify(r.out);
        EXPECT_EQ(ldap.members(kSales), sales);
        for (const auto& e : entries())
            EXPECT_TRUE(e.value("added", Json::array()).empty() && e.value("removed", Json::array()).empty()) << e;
    }
    EXPECT_EQ(metric("quorvel_members_added") + metric("quorvel_members_removed"), 0);
    EXPECT_EQ(metric("quorvel_pass_success"), 1);

    // A preview that cannot reach its reader fails.
    const std::string toFull = "exec \"$0\" -n \"$1\" >/dev/full";
    EXPECT_EQ(runCommand({"sh", "-c", toFull, binaryDir() + "/quorvel", temp.file("run.ini")}, environment()).exitCode, 1);

    ldap.replace(kSales, "member", {salesBefore.begin(), salesBefore.end()});
    auto bad = run(path(kSales), "0", {}, "MaxRemoveCount=many");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("MaxRemoveCount=many"), std::string::npos) << bad.err;
    EXPECT_EQ(ldap.members(kSales), salesBefore);
}

namespace {

const std::string kBulk = "cn=Bulk,cn=Recipients," + std::string(kSite);
const std::string kBulkDl = "cn=qvl-bulk," + kDls;
std::string gone(int i) { return "cn=gone" + std::to_string(i) + "," + kBulk; }

// The seed with 5,000 people in a container of their own and a DL that holds
// 5,000 others: loaded offline, as adding them one by one takes a minute.
RefDirOptions bulkSeed() {
    static TempDir folder;
    std::string ldif = readFile(sourceDir() + "/refdir/seed.ldif.in") + "\ndn: " + kBulk +
                       "\nobjectClass: Container\ncn: Bulk\n\ndn: " + kBulkDl +
                       "\nobjectClass: groupOfNames\ncn: qvl-bulk\nextension-attribute-15: QVL=<LDAP://@SERVER@/" +
                       kBulk + ">;(&((objectClass=organizationalPerson)(sn=p)));cn,ADsPath;subtree\n";
    for (int i = 0; i < 5000; ++i) ldif += "member: " + gone(i) + "\n";
    for (int i = 0; i < 5000; ++i)
        ldif += "\ndn: cn=p" + std::to_string(i) + "," + kBulk + "\nobjectClass: organizationalPerson\ncn: p" +
                std::to_string(i) + "\nsn: p\n";
    writeFile(folder.file("bulk.ldif"), ldif);
    return {.seedFile = folder.file("bulk.ldif")};
}

class BulkPreview : public UnattendedRun {
protected:
    BulkPreview() : UnattendedRun(bulkSeed()) {}
};

}  // namespace

TEST_F(BulkPreview, FiveThousandNamesEachWayStayOneEntryOnOneLine) {
    const std::string bulk = kBulk, dl = kBulkDl;
    std::vector<std::string> gone;
    for (int i = 0; i < 5000; ++i) gone.push_back(::gone(i));

    auto r = run(path(dl), "1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ldap.members(dl), ldap.dns(bulk, "(objectClass=organizationalPerson)", "one"));
    const std::string log = readFile(temp.file("events.jsonl"));
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 4);  // begin, the first difference, the summary, end
    const Json summary = jsonLines(log).at(2);
    ASSERT_EQ(summary["message"].get<std::string>().rfind("DL Completed.", 0), 0u);
    EXPECT_EQ(names(summary["added"]), ldap.members(dl));
    EXPECT_EQ(names(summary["removed"]), std::set<std::string>(gone.begin(), gone.end()));

    // An entry of more than about 500 fields never reaches the journal: the names are capped there,
    // the counts are whole.
    qv::platform::EventEntry entry;
    entry.members = qv::platform::EventMembers{summary["added"].get<std::vector<std::string>>(),
                                               summary["removed"].get<std::vector<std::string>>()};
    const auto fields = qv::platform::journalFields(entry);
    EXPECT_LE(fields.size(), 420u);
    EXPECT_EQ(std::count(fields.begin(), fields.end(), "QUORVEL_ADDED_COUNT=5000"), 1);
    EXPECT_EQ(std::count(fields.begin(), fields.end(), "QUORVEL_REMOVED=" + gone[0]), 1);

    EXPECT_EQ(metric("quorvel_pass_success"), 1);
    EXPECT_EQ(metric("quorvel_dls_processed"), 1);
    EXPECT_EQ(metric("quorvel_dls_failed"), 0);
    EXPECT_EQ(metric("quorvel_members_added"), 5000);
    EXPECT_EQ(metric("quorvel_members_removed"), 5000);
}
