// Content synchronisation against a reference directory that serves it
// (syncprov with a session log): what a refresh from a cookie reports for each
// kind of change, cookies the server cannot resume from, servers and bases
// without it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "DirectorySupport.h"
#include "directory/DirectoryObject.h"
#include "platform/ErrorNumbers.h"
#include "platform/SyncSearch.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"

using namespace qv;
using namespace qv::platform;
using namespace qv::test;

namespace {

class SyncSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RefDirOptions options;
        options.sync = true;
        dir_ = std::make_unique<ReferenceDirectory>(options);
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void TearDown() override {
        if (HasFailure()) std::cerr << "---- slapd log ----\n" << dir_->logTail() << "----\n";
    }

    static ReferenceDirectory& dir() { return *dir_; }
    static LdapTool tool() { return LdapTool(*dir_); }
    // The command of the people of department `department` below the recipients.
    static std::string command(const std::string& department, const std::string& base = kRecipients) {
        return "<" + dir_->adsPath(base) + ">;(&(objectClass=organizationalPerson)(department=" + department +
               "));cn;subtree";
    }
    static std::string person(const std::string& cn, const std::string& department,
                              const std::string& parent = kRecipients) {
        return "dn: cn=" + cn + "," + parent + "\nobjectClass: organizationalPerson\ncn: " + cn + "\nsn: " + cn +
               "\ndepartment: " + department + "\n\n";
    }
    static std::string dnOf(const std::string& cn) { return "cn=" + cn + "," + kRecipients; }

private:
    static inline std::unique_ptr<ReferenceDirectory> dir_;
};

const Credentials reader = credentialsOf(kReader);

// The RDN value of each DN, sorted: what a table row names.
std::set<std::string> cns(const std::vector<std::string>& dns) {
    std::set<std::string> out;
    for (const auto& dn : dns) out.insert(dn.substr(3, dn.find(',') - 3));
    return out;
}

}  // namespace

// Each kind of change, in its own department so that the rows do not meet:
// the entries a refresh from the cookie taken before it reports (all Add, by
// their new names) and those it reports gone.
TEST_F(SyncSearch, RefreshFromACookieReportsEachKindOfChange) {
    struct Row {
        const char* name;
        std::string change;  // LDIF; @D@ the department, @P@ the people's parent
        std::set<std::string> entries, deleted;
    };
    const Row rows[] = {
        {"add", "dn: cn=@D@-4,@P@\nchangetype: add\nobjectClass: organizationalPerson\ncn: @D@-4\nsn: x\n"
                "department: @D@\n", {"@D@-4"}, {}},
        {"delete", "dn: cn=@D@-1,@P@\nchangetype: delete\n", {}, {"@D@-1"}},
        {"rename", "dn: cn=@D@-1,@P@\nchangetype: modrdn\nnewrdn: cn=@D@-1x\ndeleteoldrdn: 1\n", {"@D@-1x"}, {}},
        {"modify-in-filter", "dn: cn=@D@-2,@P@\nchangetype: modify\nreplace: title\ntitle: Lead\n", {"@D@-2"}, {}},
        {"modify-out-of-filter", "dn: cn=@D@-2,@P@\nchangetype: modify\nreplace: department\ndepartment: Gone\n",
         {}, {"@D@-2"}},
        {"move-out-of-base", "dn: cn=@D@-3,@P@\nchangetype: modrdn\nnewrdn: cn=@D@-3\ndeleteoldrdn: 1\n"
                             "newsuperior: " + std::string(kCustomRecipients) + "\n", {}, {"@D@-3"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string department = std::string("sync-") + row.name;
        auto fill = [&](std::string text) {
            for (auto [key, value] : {std::pair{"@D@", department}, std::pair{"@P@", std::string(kRecipients)}})
                for (auto at = text.find(key); at != std::string::npos; at = text.find(key))
                    text.replace(at, 3, value);
            return text;
        };
        tool().add(person(department + "-1", department) + person(department + "-2", department) +
                   person(department + "-3", department));
        // The first refresh: every entry, as Add, with the entryUUIDs the entries hold.
        const auto first = refreshSync(command(department), reader, "");
        ASSERT_FALSE(first.cookie.empty());
        std::map<std::string, std::string> named;  // entryUUID -> cn
        for (const auto& [dn, uuid] : namesAndUuids(command(department), reader)) named[uuid] = *cns({dn}).begin();
        ASSERT_EQ(first.entries.size(), 3u);
        for (const auto& entry : first.entries) {
            EXPECT_EQ(entry.state, SyncEntry::State::Add);
            EXPECT_EQ(named[entry.uuid], *cns({entry.dn}).begin()) << entry.uuid;
        }
        // Nothing changed: nothing reported.
        const auto idle = refreshSync(command(department), reader, first.cookie);
        EXPECT_TRUE(idle.entries.empty() && idle.deleted.empty() && !idle.wholeSet && idle.refreshDone);

        tool().modify(fill(row.change));
        const auto changed = refreshSync(command(department), reader, first.cookie);
        std::vector<std::string> dns, deleted;
        for (const auto& entry : changed.entries) dns.push_back(entry.dn);
        for (const auto& uuid : changed.deleted) deleted.push_back("cn=" + named[uuid] + ",");
        std::set<std::string> wantEntries, wantDeleted;
        for (const auto& cn : row.entries) wantEntries.insert(fill(cn));
        for (const auto& cn : row.deleted) wantDeleted.insert(fill(cn));
        EXPECT_EQ(cns(dns), wantEntries);
        EXPECT_EQ(cns(deleted), wantDeleted);
        EXPECT_FALSE(changed.wholeSet);
        EXPECT_NE(changed.cookie, first.cookie);
    }
}

// A cookie from before the session log, one the server cannot read and one
// from its future; a server restarted (its session log lost); a base and a
// server without content synchronisation.
TEST_F(SyncSearch, CookiesTheServerCannotResumeFromAndServersWithoutIt) {
    const std::string department = "sync-cookies";
    tool().add(person(department + "-1", department) + person(department + "-2", department));
    const auto all = refreshSync(command(department), reader, "");
    ASSERT_EQ(all.entries.size(), 2u);

    const auto old = refreshSync(command(department), reader, "rid=000,csn=20000101000000.000000Z#000000#000#000000");
    EXPECT_TRUE(old.wholeSet);
    EXPECT_EQ(old.entries.size(), 2u);
    for (const char* cookie : {"not a cookie", "rid=000,csn=29991231000000.000000Z#000000#000#000000"})
        EXPECT_EQ(errorOf([&] { refreshSync(command(department), reader, cookie); }).number(),
                  err::SyncRefreshRequired)
            << cookie;

    // Restarted, the server keeps no session log from before: for a cookie
    // from before a change it names every entry still there, the unchanged
    // ones by their entryUUID alone.
    tool().remove(dnOf(department + "-2"));
    dir().stop();
    dir().resume();
    const auto restarted = refreshSync(command(department), reader, all.cookie);
    EXPECT_TRUE(restarted.wholeSet);
    ASSERT_EQ(restarted.entries.size(), 1u);
    EXPECT_EQ(restarted.entries[0].state, SyncEntry::State::Present);
    EXPECT_EQ(restarted.entries[0].uuid, all.entries[0].dn == dnOf(department + "-1") ? all.entries[0].uuid
                                                                                      : all.entries[1].uuid);

    EXPECT_TRUE(offersContentSync(parseAdsPath(dir().adsPath(kOrg)), reader));
    EXPECT_EQ(errorOf([&] { refreshSync("<" + dir().adsPath("cn=writer") + ">;(objectClass=*);cn", reader, ""); })
                  .number(),
              err::SyncUnavailable);
    ReferenceDirectory plain;
    EXPECT_FALSE(offersContentSync(parseAdsPath(plain.adsPath(kOrg)), reader));
    EXPECT_EQ(errorOf([&] { refreshSync("<" + plain.adsPath(kRecipients) + ">;(cn=*);cn", reader, ""); }).number(),
              err::SyncUnavailable);
    // A failed search is never an empty one.
    EXPECT_EQ(errorOf([&] { refreshSync(command(department, "ou=Nowhere,o=Northwind Traders"), reader, ""); })
                  .number(),
              err::SearchTableNotFound);
}

// A write that asks for it returns the entryCSN it left, the one a read then
// finds; a write that does not ask, and one that fails, leave none.
TEST_F(SyncSearch, WritesReturnTheEntryCsnTheyLeft) {
    tool().add(person("sync-csn", "sync-csn"));
    auto store = clsExchangeStore::create();
    ASSERT_TRUE(store->Connect(logon(kWriter), dir().server())) << store->lastError().Description;
    DirectoryObject object;
    const std::string dn = dnOf("sync-csn"), path = dir().adsPath(dn);
    object.Instantiate(path, "sync-csn", "organizationalPerson", dn, kRecipients, "", "", "cn=sync-csn", store);
    struct Row {
        bool ask;
        std::function<bool()> write;
        bool succeeds;
        const char* condition = "";  // "now": written only while the entryCSN is the current one; else that CSN
    };
    const Row rows[] = {
        {true, [&] { return object.SetPropertyEx("title", std::string("Lead")); }, true},
        {true, [&] { return object.SetPropertyChangeEx("telephoneNumber", {}, {"1", "2"}); }, true},
        {true, [&] { return object.SetPropertyChangeEx("telephoneNumber", {"1"}, {"3"}); }, true, "now"},
        {false, [&] { return object.SetPropertyEx("title", std::string("Head")); }, true},
        {true, [&] { return object.SetPropertyChangeEx("telephoneNumber", {"9"}, {}); }, false},
        {true, [&] { return object.SetPropertyEx("title", std::string("Lost")); }, false,
         "20000101000000.000000Z#000000#000#000000"},
    };
    for (const auto& row : rows) {
        object.ReadCSNAfterWrite = row.ask;
        object.WrittenCSN = "stale";
        object.WriteOnlyIfCSN = std::string(row.condition) == "now" ? readEntryCsn(path, reader) : row.condition;
        EXPECT_EQ(row.write(), row.succeeds) << object.lastError.Description;
        if (*row.condition && !row.succeeds) EXPECT_EQ(object.lastError.Number, err::AssertionFailed);
        EXPECT_EQ(object.WrittenCSN, row.ask && row.succeeds ? readEntryCsn(path, reader) : "");
        EXPECT_NE(readEntryCsn(path, reader), "");
    }
}

// Persistent searches on one connection: each reports its refresh whole, then
// each change as it happens, under its own id; a lost server ends the watch.
TEST_F(SyncSearch, WatchReportsEachSearchsChangesAsTheyHappen) {
    tool().add(person("watch-a-1", "watch-a") + person("watch-a-2", "watch-a") + person("watch-b-1", "watch-b"));
    const auto before = refreshSync(command("watch-b"), reader, "");
    SyncWatch watch(reader);
    EXPECT_EQ(watch.server(), "");
    const int a = watch.add(command("watch-a"), "");
    const int b = watch.add(command("watch-b"), before.cookie);
    EXPECT_NE(a, b);
    EXPECT_EQ(watch.server(), dir().url());
    // What the watch reports by id, polled until `enough` or 10 seconds.
    auto collect = [&](const std::function<bool(std::map<int, std::vector<SyncEntry>>&)>& enough) {
        std::map<int, std::vector<SyncEntry>> seen;
        for (int i = 0; i < 100 && !enough(seen); ++i)
            for (auto& [id, update] : watch.poll(std::chrono::milliseconds(100))) {
                EXPECT_TRUE(update.refreshDone && !update.refreshRequired && !update.wholeSet);
                auto& entries = seen[id];
                entries.insert(entries.end(), update.entries.begin(), update.entries.end());
                for (const auto& uuid : update.deleted) entries.push_back({SyncEntry::State::Delete, uuid, ""});
            }
        return seen;
    };
    auto refreshed = collect([&](auto& seen) { return seen.count(a) && seen.count(b); });
    ASSERT_EQ(refreshed[a].size(), 2u);
    EXPECT_TRUE(refreshed[b].empty());
    std::string leaving = refreshed[a][0].uuid;
    const std::string leavingDn = refreshed[a][0].dn;

    tool().replace(leavingDn, "department", {"elsewhere"});
    tool().add(person("watch-b-2", "watch-b"));
    auto changed = collect([&](auto& seen) { return seen[a].size() + seen[b].size() >= 2; });
    ASSERT_EQ(changed[a].size(), 1u);
    EXPECT_EQ(changed[a][0].state, SyncEntry::State::Delete);
    EXPECT_EQ(changed[a][0].uuid, leaving);
    ASSERT_EQ(changed[b].size(), 1u);
    EXPECT_EQ(changed[b][0].state, SyncEntry::State::Add);
    EXPECT_EQ(changed[b][0].dn, dnOf("watch-b-2"));
    EXPECT_TRUE(watch.poll(std::chrono::milliseconds(200)).empty());

    dir().kill();
    EXPECT_EQ(errorOf([&] { watch.poll(std::chrono::seconds(5)); }).number(), err::ServerDown);
    dir().resume();
}
