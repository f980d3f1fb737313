// The store of one server against the reference directory: the names a query
// finds, and creating and deleting DLs.
#include <gtest/gtest.h>

#include "DirectorySupport.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::test;

// The names alone: what Query finds, in its order, from the same command text.
TEST(ExchangeStore, QueryNamesGivesTheNamesQueryFinds) {
    auto store = connected();
    const std::string command = "<" + store->Path() + "/" + kSite + ">;(objectClass=organizationalPerson);cn;subtree";
    std::string forQuery = command, forNames = command;
    auto result = store->Query(forQuery);
    ASSERT_TRUE(result.ok());
    std::vector<std::string> fromQuery;
    for (const auto& person : result.objects()) fromQuery.push_back(person->distinguishedName);
    EXPECT_EQ(store->QueryNames(forNames), fromQuery);
    EXPECT_EQ(forNames, forQuery);  // the attribute list replaced alike
    EXPECT_GT(fromQuery.size(), 5u);

    std::string one = store->Path() + "/cn=qvl-sales," + kDistributionLists;
    EXPECT_EQ(store->QueryNames(one), std::vector<std::string>{std::string("cn=qvl-sales,") + kDistributionLists});

    // Failures raise, and fill lastError as Query does.
    std::string noBase = "<" + store->Path() + "/ou=Nowhere,o=Northwind Traders>;(cn=*);cn;subtree";
    try {
        store->QueryNames(noBase);
        ADD_FAILURE() << "a failed search gave names";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::SearchTableNotFound);
    }
    EXPECT_EQ(store->lastError().Number, err::SearchTableNotFound);
}

TEST(ExchangeStore, CreateADlWhoseDisplayNameDiffersFromItsAlias) {
    const auto& dir = sharedDirectory();
    auto store = connected();
    DirectoryObject request;
    request.container = store->Path() + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists";
    request.objectClass = "GroupOfNames";
    request.cn = "Quarterly Review, \"Team\"";
    request.uid = "q, r/t";  // a comma is escaped in the name; a slash stays
    request.mail = "qrt@northwind.example";
    ASSERT_TRUE(store->CreateADSIObject(request)) << store->lastError().Description;
    EXPECT_TRUE(request.adsPath.empty());  // the caller's object is not changed

    std::string dn = std::string("cn=q\\2C r/t,") + kDistributionLists;
    EXPECT_EQ(countInLog(dir, "ADD dn=\"" + dn + "\""), 1);
    LdapTool tool(dir);
    auto entry = tool.search(dn, "(objectClass=*)", "base").at(0);
    EXPECT_EQ(entry.values("cn"), (std::vector<std::string>{"Quarterly Review, \"Team\"", "q, r/t"}));
    EXPECT_EQ(entry.values("uid").at(0), "q, r/t");
    EXPECT_EQ(entry.values("mail").at(0), "qrt@northwind.example");
    EXPECT_EQ(entry.values("rfc822Mailbox").at(0), "qrt@northwind.example");
    EXPECT_TRUE(entry.values("member").empty());

    // The same alias again; a reader; a container that does not exist.
    EXPECT_FALSE(store->CreateADSIObject(request));
    EXPECT_EQ(store->lastError().Number, err::AlreadyExists);
    auto reader = connected(kReader);
    request.uid = "qrt-by-reader";
    EXPECT_FALSE(reader->CreateADSIObject(request));
    EXPECT_EQ(reader->lastError().Number, err::AccessDenied);
    request.container = store->Path() + "/cn=Nowhere," + kSite;
    EXPECT_FALSE(store->CreateADSIObject(request));
    EXPECT_EQ(store->lastError().Number, err::NoSuchObject);
    EXPECT_FALSE(tool.exists(std::string("cn=qrt-by-reader,") + kDistributionLists));

    // Found by its alias and renamed later: the alias stays among the names.
    std::string query = "<" + store->Path() + "/" + kDistributionLists + ">;(uid=q, r/t);cn;onelevel";
    auto found = store->Query(query);
    ASSERT_TRUE(found.ok()) << found.error()->description();
    ASSERT_EQ(found.objects().Count(), 1);
    auto dl = found.objects().Item(1);
    EXPECT_EQ(dl->distinguishedName, dn);
    EXPECT_EQ(dl->cn, "Quarterly Review, \"Team\"");
    EXPECT_EQ(dl->container, "");  // the program's own DLs carry no container attribute
    EXPECT_TRUE(dl->SetPropertyEx("cn", std::string("Quarterly Review")));
    EXPECT_EQ(tool.values(dn, "cn"), (std::vector<std::string>{"Quarterly Review", "q, r/t"}));

    // Deleting it right after: its container is its parent in the directory.
    store->DeleteADSIObject(dl);
    EXPECT_EQ(dl, nullptr);
    EXPECT_FALSE(tool.exists(dn));
}

// After its alias changed, a DL is still deleted as itself, never as the
// other DL that its new alias happens to name.
TEST(ExchangeStore, DeleteAfterTheAliasChangedRemovesTheRightDl) {
    const auto& dir = sharedDirectory();
    std::string renamed = addScratchDl(dir, "scratch-renamed", kDistributionLists,
                                       std::string("Obj-View-Containers: ") + kDistributionLists + "\n");
    std::string other = addScratchDl(dir, "scratch-other", kDistributionLists,
                                     std::string("Obj-View-Containers: ") + kDistributionLists + "\n");
    auto store = connected();
    std::string query = "<" + store->Path() + "/" + kDistributionLists + ">;(uid=scratch-renamed);cn;onelevel";
    auto dl = store->Query(query).objects().Item(1);
    ASSERT_TRUE(dl->SetPropertyEx("uid", std::string("scratch-other")));
    dl->uid = "scratch-other";  // as the console shows it after Apply
    store->DeleteADSIObject(dl);
    LdapTool tool(dir);
    EXPECT_FALSE(tool.exists(renamed));
    EXPECT_TRUE(tool.exists(other));
}
