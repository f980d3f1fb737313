// The search provider against the reference directory: commands, scopes,
// fields, filters in both notations, paging and failures. (A search cut
// short by a server's limit: the compatibility suite, on every directory.)
#include <gtest/gtest.h>

#include "DirectorySupport.h"
#include "platform/DirectorySearch.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"

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

// A directory with thousands of DLs in one container.
TEST(BulkDirectory, SearchesOfMoreThanOnePageReturnEveryRow) {
    constexpr int kLists = 5000, kPeople = 250;
    TempDir folder;
    ReferenceDirectory dir({.seedFile = bulkSeed(folder.path(), kLists, kPeople)});
    auto lists = searchDns(base(dir, kBulk) + ";(objectClass=groupOfNames);cn,ADsPath,distinguishedName;onelevel");
    EXPECT_EQ(lists.size(), size_t(kLists));
    EXPECT_EQ(lists, LdapTool(dir).dns(kBulk, "(objectClass=groupOfNames)", "one"));
    EXPECT_EQ(searchDns(base(dir, kBulk) + ";(department=Bulk);distinguishedName;subtree").size(), size_t(kPeople));
    // A page at a time: the log shows the pages.
    EXPECT_GE(countInLog(dir, "SRCH base=\"" + std::string(kBulk) + "\""), kLists / 100);
}
