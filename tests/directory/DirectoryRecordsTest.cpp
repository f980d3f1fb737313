// The store's text rules and the small records of directory access, without a server.
#include <gtest/gtest.h>

#include <functional>

#include "DirectorySupport.h"
#include "directory/DirObjects.h"
#include "directory/GetArrayObject.h"
#include "directory/PropertyBag.h"
#include "directory/QueryResult.h"
#include "directory/clsExchangeStore.h"
#include "platform/DirectorySearch.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::test;

TEST(GetServerName, TakesTheServerOutOfEveryForm) {
    EXPECT_EQ(clsExchangeStore::GetServerName("LDAP://srv01/o=Org/ou=Site"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("srv01"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("LDAP://srv01"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("ldap://Srv01:3890/RootDSE"), "SRV01:3890");
    EXPECT_EQ(clsExchangeStore::GetServerName("<LDAP://srv01/o=Org>;(cn=a);cn;subtree"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("<ldap://srv01>;(cn=a);cn;subtree"), "SRV01");
    // A "/" in the filter does not belong to a base that names no object.
    EXPECT_EQ(clsExchangeStore::GetServerName("<LDAP://srv01>;(cn=a/b);cn;subtree"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("<LDAP://srv01"), "SRV01");
    EXPECT_EQ(clsExchangeStore::GetServerName("127.0.0.1:389"), "127.0.0.1:389");
    EXPECT_EQ(clsExchangeStore::GetServerName(""), "");
}

TEST(BuildX400Address, OrganisationCutToSixteenCharactersSiteWithoutOu) {
    EXPECT_EQ(clsExchangeStore::BuildX400Address("o=Example Organisation Ltd", "ou=HQ", "SALES"),
              "c=US;a= ;p=Example Organisa;o=HQ;s=SALES;");
    EXPECT_EQ(clsExchangeStore::BuildX400Address("o=Northwind Traders", "ou=Amsterdam", "qrt"),
              "c=US;a= ;p=Northwind Trader;o=Amsterdam;s=qrt;");
    EXPECT_EQ(clsExchangeStore::BuildX400Address("o=ACME", "ou=HQ", "a"), "c=US;a= ;p=ACME;o=HQ;s=a;");
    // Characters, not bytes, and the removals are case-sensitive.
    EXPECT_EQ(clsExchangeStore::BuildX400Address("o=Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale SA", "OU=HQ", "x"),
              "c=US;a= ;p=Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale;o=OU=HQ;s=x;");
}

TEST(PropertyBag, FieldsByNameWithoutRegardToCase) {
    PropertyBag bag;
    EXPECT_TRUE(bag.append("member"));
    EXPECT_TRUE(bag.append("cn"));
    EXPECT_FALSE(bag.append("MEMBER"));
    bag.set("Member", std::vector<std::string>{"cn=a", "cn=b"});
    bag.set("CN", std::string("Sales"));
    EXPECT_EQ(bag.size(), 2u);
    EXPECT_EQ(bag.names(), (std::vector<std::string>{"member", "cn"}));
    EXPECT_EQ(bag.list("MEMBER"), (std::vector<std::string>{"cn=a", "cn=b"}));
    EXPECT_EQ(bag.text("cn"), "Sales");
    EXPECT_EQ(numberOf([&] { bag.text("member"); }), err::TypeMismatch);
    EXPECT_EQ(numberOf([&] { bag.list("cn"); }), err::TypeMismatch);
    EXPECT_EQ(numberOf([&] { bag.text("mail"); }), err::ItemNotFound);
    EXPECT_EQ(numberOf([&] { bag.set("mail", std::string("x")); }), err::ItemNotFound);
    bag.append("info");
    EXPECT_TRUE(bag.isNull("info"));
    EXPECT_EQ(bag.text("info"), "");
    EXPECT_TRUE(bag.list("info").empty());
}

TEST(DirObjects, PositionsCountFromOne) {
    DirObjects objects;
    auto store = clsExchangeStore::create();
    objects.Add("LDAP://s/cn=a", "A", "groupOfNames", "cn=a", "o=Org", "a@x", "a", "a", store);
    objects.Add("LDAP://s/cn=b", "B", "groupOfNames", "cn=b", "o=Org", "b@x", "b", "b", store);
    objects.Add("LDAP://s/cn=c", "C", "groupOfNames", "cn=c", "o=Org", "c@x", "c", "c", store);
    ASSERT_EQ(objects.Count(), 3);
    EXPECT_EQ(objects.Item(1)->adsPath, "LDAP://s/cn=a");
    EXPECT_TRUE(objects.Item(1)->Instantiated);

    objects.Remove(1);
    EXPECT_EQ(objects.Count(), 2);
    EXPECT_EQ(objects.Item(1)->cn, "B");
    std::string order;
    for (const auto& object : objects) order += object->cn;
    EXPECT_EQ(order, "BC");
    for (long bad : {0L, 3L, -1L}) {
        EXPECT_EQ(numberOf([&] { objects.Item(bad); }), err::SubscriptOutOfRange) << bad;
        EXPECT_EQ(numberOf([&] { objects.Remove(bad); }), err::SubscriptOutOfRange) << bad;
    }
    EXPECT_EQ(objects.Count(), 2);
}

TEST(GetArrayObject, OneValueOutOfMany) {
    std::vector<std::string> classes{"groupOfNames", "top"};
    EXPECT_EQ(GetArrayObject(classes, 0), "groupOfNames");
    EXPECT_EQ(GetArrayObject(classes, 1), "top");
    EXPECT_EQ(GetArrayObject(classes, 2), "");
    EXPECT_EQ(GetArrayObject(classes, -1), "");
    EXPECT_EQ(GetArrayObject(std::vector<std::string>{}, 0), "");
    EXPECT_EQ(GetArrayObject(std::string("single"), 0), "single");
}

TEST(QueryResult, AFailedSearchHasNoCollection) {
    auto found = QueryResult::found(std::make_shared<DirObjects>());
    EXPECT_TRUE(found.ok());
    EXPECT_EQ(found.objects().Count(), 0);
    EXPECT_EQ(found.error(), nullptr);

    auto failed = QueryResult::failed(Error(err::SizeLimitExceeded, "Size limit exceeded"));
    EXPECT_FALSE(failed);
    ASSERT_NE(failed.error(), nullptr);
    EXPECT_EQ(failed.error()->number(), err::SizeLimitExceeded);
    EXPECT_EQ(numberOf([&] { failed.objects(); }), err::SizeLimitExceeded);
    EXPECT_EQ(numberOf([&] { failed.shared(); }), err::SizeLimitExceeded);
}

TEST(SearchCommand, FieldsScopesAndAttributeLists) {
    using platform::SearchScope;
    auto command = platform::parseSearchCommand(
        "<LDAP://srv:3890/o=Org/ou=Site>;(&(a=1)(b=2));cn, ADsPath ,distinguishedName;ONELEVEL");
    EXPECT_EQ(command.base.dn, "ou=Site,o=Org");
    EXPECT_EQ(command.base.server, "srv:3890");
    EXPECT_EQ(command.filter, "(&(a=1)(b=2))");
    EXPECT_EQ(command.attributes, (std::vector<std::string>{"cn", "ADsPath", "distinguishedName"}));
    EXPECT_EQ(command.scope, SearchScope::OneLevel);
    EXPECT_EQ(platform::parseSearchCommand("<LDAP://s/o=Org>;(a=1);cn;Base").scope, SearchScope::Base);
    EXPECT_EQ(platform::parseSearchCommand("<LDAP://s/o=Org>;(a=1);cn;subTree").scope, SearchScope::Subtree);
    EXPECT_EQ(platform::parseSearchCommand("<LDAP://s/o=Org>;(a=1);cn").scope, SearchScope::Subtree);
    EXPECT_EQ(platform::parseSearchCommand("<LDAP://s/o=Org>;(a=1);;subtree").attributes,
              std::vector<std::string>{"ADsPath"});

    for (const char* bad : {"<LDAP://s/o=Org>;(a=1)", "<LDAP://s/o=Org>", "<LDAP://s/o=Org>;(a=1);cn;sub",
                            "<LDAP://s/o=Org>;(a=1);cn;subtree;x", "LDAP://s/o=Org;(a=1);cn;subtree",
                            "<LDAP://s/o=Org;(a=1);cn;subtree"})
        EXPECT_EQ(numberOf([&] { platform::parseSearchCommand(bad); }), err::SearchCommandInvalid) << bad;
    EXPECT_EQ(numberOf([&] { platform::parseSearchCommand("<http://s/o=Org>;(a=1);cn;subtree"); }),
              err::BadPathname);
}
