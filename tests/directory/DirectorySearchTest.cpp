// The search provider against the reference directory: commands, scopes,
// fields, filters in both notations, paging, limits and failures.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>

#include "DirectorySupport.h"
#include "platform/DirectorySearch.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv;
using namespace qv::platform;
using namespace qv::test;

namespace {

std::string base(const ReferenceDirectory& dir, const std::string& dn) { return "<" + dir.adsPath(dn) + ">"; }

// The distinguished names a search command returns, read to the end.
std::set<std::string> searchDns(const std::string& command, Credentials credentials = credentialsOf(kReader)) {
    std::set<std::string> dns;
    auto cursor = SearchConnection(std::move(credentials)).execute(command);
    for (; !cursor.eof(); cursor.moveNext()) dns.insert(cursor.field("distinguishedName").text());
    return dns;
}

}  // namespace

TEST(DirectorySearch, ReturnsWhatTheDirectoryHolds) {
    const auto& dir = sharedDirectory();
    LdapTool tool(dir);
    EXPECT_EQ(searchDns(base(dir, kSite) + ";(objectClass=organizationalPerson);cn,ADsPath,distinguishedName;subtree"),
              tool.dns(kSite, "(objectClass=organizationalPerson)"));
    EXPECT_EQ(searchDns(base(dir, kRecipients) + ";(objectClass=organizationalPerson);cn,distinguishedName;ONELEVEL"),
              tool.dns(kRecipients, "(objectClass=organizationalPerson)", "one"));
    EXPECT_EQ(searchDns(base(dir, kRecipients) + ";(objectClass=*);distinguishedName;Base"),
              std::set<std::string>{kRecipients});
    // The tree path form of the base, a "/" inside it, UTF-8 in the filter.
    EXPECT_EQ(searchDns("<LDAP://" + dir.server() +
                        "/o=Northwind Traders/ou=Amsterdam/cn=Recipients/cn=Legal\\/Compliance>;(cn=*);distinguishedName;"
                        "oneLevel"),
              std::set<std::string>{std::string("cn=xvanderveen,cn=Legal/Compliance,") + kRecipients});
    EXPECT_EQ(searchDns(base(dir, kSite) + ";(cn=J\xC3\xB6rg M\xC3\xBC" "ller);distinguishedName;subtree"),
              std::set<std::string>{std::string("cn=jmuller,") + kRecipients});
    EXPECT_EQ(searchDns(base(dir, kSite) + ";(uid=evandijk);distinguishedName;subtree"),
              std::set<std::string>{std::string("cn=van Dijk\\2C Eva,") + kRecipients});
    // The server alone: its default naming context; three fields: subtree.
    EXPECT_EQ(searchDns("<LDAP://" + dir.server() + ">;(uid=evandijk);distinguishedName"),
              std::set<std::string>{std::string("cn=van Dijk\\2C Eva,") + kRecipients});
    // Nothing found is an empty result, not an error.
    auto none = SearchConnection(credentialsOf(kReader))
                    .execute(base(dir, kSite) + ";(department=Procurement);cn;subtree");
    EXPECT_TRUE(none.eof());
    EXPECT_EQ(errorOf([&] { none.field(0); }).number(), err::NoCurrentRow);
}

TEST(DirectorySearch, FieldsInListOrderByNameWithoutRegardToCase) {
    const auto& dir = sharedDirectory();
    std::string dn = std::string("cn=qvl-sales,") + kDistributionLists;
    auto cursor = SearchConnection().execute(
        base(dir, dn) + ";(objectClass=*);cn,ADsPath,objectClass,extension-attribute-1,member,Hide-DL-Membership;base");
    ASSERT_FALSE(cursor.eof());
    ASSERT_EQ(cursor.fieldCount(), 6u);
    EXPECT_EQ(cursor.field(0).name(), "cn");
    EXPECT_EQ(cursor.field(0).values(), (std::vector<std::string>{"Sales (all sites)", "qvl-sales"}));
    EXPECT_EQ(cursor.field("CN").text(), "Sales (all sites)");
    EXPECT_EQ(cursor.field("adspath").text(), dir.adsPath(dn));
    EXPECT_EQ(cursor.field("objectclass").text(), "groupOfNames");
    EXPECT_TRUE(cursor.field("extension-attribute-1").isNull());
    EXPECT_EQ(cursor.field("extension-attribute-1").text(), "");
    EXPECT_EQ(cursor.field("member").values().size(), 2u);
    EXPECT_EQ(cursor.field("hide-dl-membership").text(), "True");
    EXPECT_EQ(errorOf([&] { cursor.field("mail"); }).number(), err::ItemNotFound);
    EXPECT_EQ(errorOf([&] { cursor.field(6); }).number(), err::ItemNotFound);
    cursor.moveNext();
    EXPECT_TRUE(cursor.eof());
    cursor.moveNext();  // nothing happens at the end
    EXPECT_TRUE(cursor.eof());
}

TEST(DirectorySearch, ContainerPassAndDesignerFiltersFindTheRightEntries) {
    const auto& dir = sharedDirectory();
    LdapTool tool(dir);
    // The container pass: the DLs whose target attribute starts with the prefix.
    auto pass = searchDns(base(dir, kSite) +
                          ";(&((objectClass=groupOfNames)(extension-attribute-15=QVL=*)));cn,ADsPath,distinguishedName;"
                          "subtree");
    EXPECT_EQ(pass, tool.dns(kSite, "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))"));
    EXPECT_GE(pass.size(), 10u);
    EXPECT_FALSE(pass.count(std::string("cn=staff-social,") + kDistributionLists));
    // A designer filter with a negation and nested groups.
    auto designed = searchDns(
        base(dir, kSite) +
        ";(&((objectClass=organizationalPerson)(|((l=Amsterdam)(l=Utrecht)))(!department=Sales)));cn,distinguishedName;subtree");
    EXPECT_EQ(designed, tool.dns(kSite, "(&(objectClass=organizationalPerson)(|(l=Amsterdam)(l=Utrecht))"
                                        "(!(department=Sales)))"));
    EXPECT_FALSE(designed.empty());
    EXPECT_FALSE(designed.count(std::string("cn=avries,") + kRecipients));  // Sales
}

TEST(DirectorySearch, BadCommandsAndFiltersAreErrors) {
    const auto& dir = sharedDirectory();
    SearchConnection connection(credentialsOf(kReader));
    auto number = [&](const std::string& command) {
        return errorOf([&] {
                   auto cursor = connection.execute(command);
                   while (!cursor.eof()) cursor.moveNext();
               })
            .number();
    };
    EXPECT_EQ(number(base(dir, kSite) + ";;cn;subtree"), err::FilterUnknown);
    EXPECT_EQ(number(base(dir, kSite) + ";(objectClass=organizationalPerson;cn;subtree"), err::FilterUnknown);
    EXPECT_EQ(number(base(dir, kSite) + ";objectClass=*);cn;subtree"), err::FilterUnknown);
    EXPECT_EQ(number(base(dir, kSite) + ";(cn=a);cn;deep"), err::SearchCommandInvalid);
    EXPECT_EQ(number(base(dir, kSite) + ";(cn=a)"), err::SearchCommandInvalid);
    EXPECT_EQ(number(base(dir, kSite) + ";(cn=a;b);cn;subtree"), err::SearchCommandInvalid);
    EXPECT_EQ(number("<LDAP://" + dir.server() + "/o=Northwind Traders/ou=Nowhere>;(cn=*);cn;subtree"),
              err::SearchTableNotFound);
    Error missing = errorOf([&] { connection.execute(base(dir, "ou=Nowhere,o=Northwind Traders") + ";(cn=*);cn"); });
    EXPECT_NE(missing.description().find("ou=Nowhere"), std::string::npos) << missing.description();
}

TEST(DirectorySearch, ASearchCutShortByTheServerIsAnError) {
    const auto& dir = sharedDirectory();
    // The limited account may read 10 entries; the site holds many more.
    auto cursor = SearchConnection(credentialsOf(kLimited))
                      .execute(base(dir, kSite) + ";(objectClass=*);distinguishedName;subtree");
    int rows = 0;
    Error cut = errorOf([&] {
        for (; !cursor.eof(); cursor.moveNext()) ++rows;
    });
    EXPECT_EQ(cut.number(), err::SizeLimitExceeded) << cut.description();
    EXPECT_LE(rows, 10);
    EXPECT_TRUE(cursor.eof());
    // Within the limit it is an ordinary search.
    EXPECT_EQ(searchDns(base(dir, kCustomRecipients) + ";(uid=rpartner1);distinguishedName;subtree",
                        credentialsOf(kLimited))
                  .size(),
              1u);
}

TEST(DirectorySearch, FailuresOfTheServerAreTheProvidersOwnNumbers) {
    ShortTimeouts timeouts;
    ReferenceDirectory stopped;
    std::string server = stopped.server();
    stopped.stop();
    EXPECT_EQ(errorOf([&] { SearchConnection().execute("<LDAP://" + server + "/o=Northwind Traders>;(cn=*);cn"); })
                  .number(),
              err::SearchTableNotFound);
    EXPECT_EQ(errorOf([&] {
                  SearchConnection(Credentials::account(kReader.dn(), "wrong"))
                      .execute(base(sharedDirectory(), kSite) + ";(cn=*);cn");
              }).number(),
              err::LogonFailure);
}

// A directory with thousands of DLs in one container.
class BulkDirectory : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir;
        RefDirOptions options;
        options.seedFile = bulkSeed(folder_->path(), kLists, kPeople);
        dir_ = new ReferenceDirectory(options);
    }
    static void TearDownTestSuite() {
        delete dir_;
        delete folder_;
    }
    static constexpr int kLists = 5000;
    static constexpr int kPeople = 250;
    static TempDir* folder_;
    static ReferenceDirectory* dir_;
};
TempDir* BulkDirectory::folder_ = nullptr;
ReferenceDirectory* BulkDirectory::dir_ = nullptr;

TEST_F(BulkDirectory, SearchesOfMoreThanOnePageReturnEveryRow) {
    auto started = std::chrono::steady_clock::now();
    auto lists = searchDns(base(*dir_, kBulk) + ";(objectClass=groupOfNames);cn,ADsPath,distinguishedName;onelevel");
    auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "[ figure ] search of " << lists.size() << " DLs: " << took << " s\n";
    EXPECT_EQ(lists.size(), size_t(kLists));
    EXPECT_EQ(lists, LdapTool(*dir_).dns(kBulk, "(objectClass=groupOfNames)", "one"));
    EXPECT_EQ(searchDns(base(*dir_, kBulk) + ";(department=Bulk);distinguishedName;subtree").size(), size_t(kPeople));
    // A page at a time: the log shows the pages.
    EXPECT_GE(countInLog(*dir_, "SRCH base=\"" + std::string(kBulk) + "\""), kLists / 100);
}

// Only the names: the same request, the same rows in the same order, the same failures.
TEST_F(BulkDirectory, NamesOnlyAreTheCursorsNamesInItsOrder) {
    const std::string command = base(*dir_, kBulk) + ";(objectClass=groupOfNames);cn,ADsPath,distinguishedName;onelevel";
    const std::string request = "SRCH base=\"" + std::string(kBulk) + "\" scope=1";
    const int start = countInLog(*dir_, request);
    std::vector<std::string> fromCursor;
    auto cursor = SearchConnection(credentialsOf(kReader)).execute(command);
    for (; !cursor.eof(); cursor.moveNext()) fromCursor.push_back(cursor.field("distinguishedName").text());
    const int pages = countInLog(*dir_, request) - start;
    auto names = SearchConnection(credentialsOf(kReader)).distinguishedNames(command);
    EXPECT_EQ(names, fromCursor);
    EXPECT_EQ(names.size(), size_t(kLists));
    EXPECT_GE(pages, kLists / 100);
    EXPECT_EQ(countInLog(*dir_, request) - start, 2 * pages);  // the same pages

    EXPECT_TRUE(SearchConnection(credentialsOf(kReader))
                    .distinguishedNames(base(*dir_, kBulk) + ";(cn=nobody-at-all);cn;onelevel")
                    .empty());
    Error cut = errorOf([&] {
        SearchConnection(credentialsOf(kLimited)).distinguishedNames(base(*dir_, kBulk) + ";(objectClass=*);cn;subtree");
    });
    EXPECT_EQ(cut.number(), err::SizeLimitExceeded) << cut.description();
    EXPECT_EQ(errorOf([&] {
                  SearchConnection(credentialsOf(kReader))
                      .distinguishedNames(base(*dir_, "cn=Nowhere," + std::string(kBulk)) + ";(cn=*);cn;subtree");
              }).number(),
              err::SearchTableNotFound);
    EXPECT_EQ(errorOf([&] { SearchConnection().distinguishedNames(base(*dir_, kBulk) + ";(cn=a;cn"); }).number(),
              err::FilterUnknown);
}

TEST_F(BulkDirectory, EnumeratingThousandsOfDls) {
    auto container = BoundObject::bind(dir_->adsPath(kBulk), credentialsOf(kReader));
    auto started = std::chrono::steady_clock::now();
    auto children = container->children("groupofNames", {"cn"});
    int count = 0;
    std::string last;
    while (auto dl = children.next()) {
        ++count;
        last = dl->get("cn");
    }
    auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "[ figure ] enumeration of " << count << " DLs with their display names: " << took << " s\n";
    EXPECT_EQ(count, kLists);
    EXPECT_EQ(last.rfind("Bulk list ", 0), 0u);
}
