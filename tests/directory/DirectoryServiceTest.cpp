// The directory service against the reference directory: binding by address,
// the property cache and its value rules, writes, creation, deletion and the
// enumeration of a container.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "DirectorySupport.h"
#include "platform/DirectoryService.h"
#include "platform/DistinguishedName.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"

using namespace qv;
using namespace qv::platform;
using namespace qv::test;

namespace {

const std::string kSalesDl = std::string("cn=qvl-sales,") + kDistributionLists;
const std::string kEva = std::string("cn=van Dijk\\, Eva,") + kRecipients;
// The same DN as the server writes it.
const std::string kEvaAsServed = std::string("cn=van Dijk\\2C Eva,") + kRecipients;
const std::string kLegal = std::string("cn=Legal/Compliance,") + kRecipients;

std::shared_ptr<BoundObject> bindAs(const std::string& dn, Account account = kWriter) {
    return BoundObject::bind(sharedDirectory().adsPath(dn), credentialsOf(account));
}

std::vector<std::string> sorted(std::vector<std::string> values) {
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

TEST(DirectoryService, BothAddressFormsBindTheSameObject) {
    const auto& dir = sharedDirectory();
    auto comma = BoundObject::bind(dir.adsPath(kSalesDl), credentialsOf(kWriter));
    auto slash = BoundObject::bind(
        "ldap://" + dir.server() + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists/cn=qvl-sales",
        credentialsOf(kWriter));
    EXPECT_EQ(comma->distinguishedName(), kSalesDl);
    EXPECT_EQ(slash->distinguishedName(), kSalesDl);
    EXPECT_EQ(slash->get("cn"), "Sales (all sites)");
    EXPECT_EQ(slash->name(), "cn=qvl-sales");
    EXPECT_EQ(slash->adsPath(),
              "ldap://" + dir.server() + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists/cn=qvl-sales");

    // A "/" inside a name, escaped in the tree path and bare in the comma form.
    auto legal = BoundObject::bind("LDAP://" + dir.server() +
                                       "/o=Northwind Traders/ou=Amsterdam/cn=Recipients/cn=Legal\\/Compliance",
                                   Credentials::currentUser());
    EXPECT_EQ(legal->distinguishedName(), kLegal);
    EXPECT_EQ(legal->name(), "cn=Legal\\/Compliance");
    EXPECT_EQ(bindAs(kLegal)->get("cn"), "Legal/Compliance");
    auto eva = bindAs(kEva);
    EXPECT_EQ(eva->name(), "cn=van Dijk\\2C Eva");
    EXPECT_EQ(eva->distinguishedName(), kEvaAsServed);
    EXPECT_EQ(eva->get("uid"), "evandijk");

    // The server alone is its default naming context; the root entry has its contexts.
    EXPECT_EQ(BoundObject::bind("LDAP://" + dir.server(), Credentials::currentUser())->distinguishedName(), kOrg);
    auto root = BoundObject::bind("LDAP://" + dir.server() + "/RootDSE", Credentials::currentUser());
    EXPECT_EQ(root->get("defaultNamingContext"), kOrg);
    auto contexts = root->getEx("namingContexts");
    ASSERT_GE(contexts.size(), 4u);
    EXPECT_EQ(contexts[contexts.size() - 2], kSite);
}

TEST(DirectoryService, ValuesFollowTheProgramsRules) {
    const auto& dir = sharedDirectory();
    auto dl = bindAs(kSalesDl);
    // Names without regard to case; the structural class first.
    EXPECT_EQ(dl->get("objectClass"), "groupOfNames");
    EXPECT_EQ(dl->get("OBJECTCLASS"), "groupOfNames");
    EXPECT_EQ(dl->get("EXTENSION-attribute-15").rfind("QVL=<LDAP://", 0), 0u);
    // Booleans read True/False.
    EXPECT_EQ(dl->get("Hide-DL-Membership"), "True");
    EXPECT_EQ(dl->get("report-to-owner"), "False");
    EXPECT_EQ(dl->get("Replication-Sensitivity"), "20");
    // Made up when the server does not send them.
    EXPECT_EQ(dl->get("distinguishedName"), kSalesDl);
    EXPECT_EQ(dl->get("ADsPath"), dir.adsPath(kSalesDl));
    EXPECT_EQ(bindAs(kLegal)->get("adspath"), "LDAP://" + dir.server() + "/cn=Legal\\/Compliance," + kRecipients);
    // An attribute the object lacks.
    EXPECT_EQ(numberOf([&] { dl->get("extension-attribute-1"); }), err::PropertyNotFound);
    EXPECT_EQ(numberOf([&] { dl->getEx("extension-attribute-1"); }), err::PropertyNotFound);
    // All values; aliases of a name reach the same attribute; UTF-8 and quotes survive.
    EXPECT_EQ(sorted(dl->getEx("member")), sorted(LdapTool(dir).values(kSalesDl, "member")));
    auto bob = bindAs(std::string("cn=bjansen,") + kRecipients);
    EXPECT_EQ(bob->get("surname"), "Jansen");
    EXPECT_EQ(bob->get("cn"), "Robert \"Bob\" Jansen");
    EXPECT_EQ(bindAs(std::string("cn=jmuller,") + kRecipients)->get("cn"), "J\xC3\xB6rg M\xC3\xBCller");
}

TEST(DirectoryService, GetInfoExLoadsNamedAttributesAndRefusesUnknownNames) {
    auto dl = bindAs(kSalesDl);
    EXPECT_EQ(numberOf([&] { dl->getInfoEx({"cn", "no-such-attribute"}); }), err::NoSuchAttribute);
    dl->getInfoEx({"cn", "member", "extension-attribute-2", "distinguishedName", "ADsPath"});
    EXPECT_EQ(dl->get("cn"), "Sales (all sites)");
    EXPECT_EQ(numberOf([&] { dl->get("extension-attribute-2"); }), err::PropertyNotFound);
    dl->getInfo();
    EXPECT_EQ(dl->get("mail"), "qvl-sales@northwind.example");
    // Asking for a name that was not loaded reads it.
    auto fresh = bindAs(kSalesDl);
    EXPECT_EQ(fresh->get("mail"), "qvl-sales@northwind.example");
    EXPECT_FALSE(fresh->get("structuralObjectClass").empty());
}

TEST(DirectoryService, SetInfoSendsEveryStagedChangeInOneModify) {
    const auto& dir = sharedDirectory();
    std::string dn = addScratchDl(dir, "scratch-modify");
    auto dl = bindAs(dn);
    int before = countInLog(dir, "MOD dn=\"" + dn + "\"");
    const std::string special = "a, \"b\" \\ c / J\xC3\xB6rg; d+e <f> #g";
    dl->put("info", special);
    dl->putBoolean("Hide-DL-Membership", true);
    dl->put("Report-To-Owner", "false");  // a Boolean given as text
    dl->putInteger("Replication-Sensitivity", 20);
    dl->putEx(PutExCode::Update, "member", {std::string("cn=avries,") + kRecipients, kEva});
    dl->putEx(PutExCode::Clear, "extension-attribute-3", {});  // absent: still fine
    dl->put("extension-attribute-4", "");                       // the empty text: no value
    EXPECT_EQ(dl->get("info"), special);  // the cache shows what is staged
    dl->setInfo();
    EXPECT_EQ(countInLog(dir, "MOD dn=\"" + dn + "\""), before + 1);

    LdapTool tool(dir);
    EXPECT_EQ(tool.values(dn, "info"), std::vector<std::string>{special});
    EXPECT_EQ(tool.values(dn, "Hide-DL-Membership"), std::vector<std::string>{"TRUE"});
    EXPECT_EQ(tool.values(dn, "Report-To-Owner"), std::vector<std::string>{"FALSE"});
    EXPECT_EQ(tool.values(dn, "Replication-Sensitivity"), std::vector<std::string>{"20"});
    EXPECT_EQ(tool.members(dn), (std::set<std::string>{std::string("cn=avries,") + kRecipients, kEvaAsServed}));
    EXPECT_TRUE(tool.values(dn, "extension-attribute-3").empty());

    auto again = bindAs(dn);
    EXPECT_EQ(again->get("info"), special);
    EXPECT_EQ(again->get("Report-To-Owner"), "False");
    again->putEx(PutExCode::Clear, "member", {});
    again->setInfo();
    EXPECT_TRUE(tool.members(dn).empty());
    EXPECT_EQ(numberOf([&] { again->get("member"); }), err::PropertyNotFound);
}

TEST(DirectoryService, TheRdnValueStaysInTheEntry) {
    const auto& dir = sharedDirectory();
    std::string dn = addScratchDl(dir, "scratch-rename");
    auto dl = bindAs(dn);
    dl->put("cn", "A new display name");
    dl->setInfo();
    LdapTool tool(dir);
    EXPECT_EQ(tool.values(dn, "cn"), (std::vector<std::string>{"A new display name", "scratch-rename"}));
    // A value equal to the RDN value but for case is the RDN value.
    dl->putEx(PutExCode::Update, "CN", {"SCRATCH-RENAME"});
    dl->setInfo();
    EXPECT_EQ(tool.values(dn, "cn").size(), 1u);
    dl->putEx(PutExCode::Clear, "cn", {});
    dl->setInfo();
    EXPECT_EQ(tool.values(dn, "cn"), std::vector<std::string>{"scratch-rename"});
}

TEST(DirectoryService, CreateAddsTheWholeObjectInOneRequestAndDeleteRemovesIt) {
    const auto& dir = sharedDirectory();
    auto container = bindAs(kDistributionLists);
    std::string alias = "qvl, new/one";
    std::string dn = "cn=" + escapeDnValue(alias) + "," + kDistributionLists;
    auto dl = container->create("GroupOfNames", "cn=" + escapeDnValue(alias));
    EXPECT_EQ(dl->distinguishedName(), dn);
    dl->put("cn", "Display \"New\", one");
    dl->put("uid", alias);
    dl->put("mail", "");  // no value: not sent
    dl->putBoolean("Hide-DL-Membership", true);
    dl->putInteger("Replication-Sensitivity", 20);
    dl->setInfo();
    EXPECT_EQ(countInLog(dir, "ADD dn=\"cn=qvl\\2C new/one," + std::string(kDistributionLists) + "\""), 1);

    LdapTool tool(dir);
    ASSERT_TRUE(tool.exists(dn));
    EXPECT_EQ(tool.values(dn, "cn"), (std::vector<std::string>{"Display \"New\", one", alias}));
    EXPECT_EQ(tool.values(dn, "uid"), std::vector<std::string>{alias});
    EXPECT_EQ(tool.values(dn, "Hide-DL-Membership"), std::vector<std::string>{"TRUE"});
    EXPECT_TRUE(tool.values(dn, "mail").empty());
    auto created = BoundObject::bind(dir.adsPath(dn), credentialsOf(kWriter));
    EXPECT_EQ(created->get("objectClass"), "groupOfNames");
    EXPECT_EQ(created->get("uid"), alias);

    // The same name again.
    auto twin = container->create("groupOfNames", "cn=" + escapeDnValue(alias));
    twin->put("cn", "Twin");
    EXPECT_EQ(numberOf([&] { twin->setInfo(); }), err::AlreadyExists);

    // Delete checks the class of what it deletes.
    EXPECT_EQ(numberOf([&] { container->deleteChild("Container", "cn=" + escapeDnValue(alias)); }), err::NoSuchObject);
    EXPECT_TRUE(tool.exists(dn));
    container->deleteChild("groupofNames", "cn=" + escapeDnValue(alias));
    EXPECT_FALSE(tool.exists(dn));
    EXPECT_EQ(numberOf([&] { container->deleteChild("groupOfNames", "cn=" + escapeDnValue(alias)); }),
              err::NoSuchObject);
    EXPECT_EQ(numberOf([&] { container->create("groupOfNames", "cn=a,cn=b"); }), err::BadPathname);
    EXPECT_EQ(numberOf([&] { container->create("groupOfNames", "nonsense"); }), err::BadPathname);
}

TEST(DirectoryService, ChildrenOfOneClassWithTheirNames) {
    auto recipients = bindAs(kRecipients);
    std::set<std::string> names;
    auto containers = recipients->children("Container", {"cn"});
    while (auto child = containers.next()) names.insert(child->name());
    EXPECT_EQ(names, (std::set<std::string>{"cn=Sales", "cn=Engineering", "cn=Archive", "cn=Legal\\/Compliance"}));

    // A child's name leads back to it in a tree path.
    auto people = recipients->children("organizationalPerson", {"uid"});
    bool sawEva = false;
    while (auto person = people.next()) {
        if (person->get("uid") != "evandijk") continue;
        sawEva = true;
        EXPECT_EQ(person->name(), "cn=van Dijk\\2C Eva");
        auto again = BoundObject::bind("LDAP://" + sharedDirectory().server() +
                                           "/o=Northwind Traders/ou=Amsterdam/cn=Recipients/" + person->name(),
                                       credentialsOf(kReader));
        EXPECT_EQ(again->distinguishedName(), kEvaAsServed);
    }
    EXPECT_TRUE(sawEva);

    auto lists = bindAs(kDistributionLists)->children("groupofNames", {"cn"});
    std::map<std::string, std::string> displayNames;
    while (auto dl = lists.next()) {
        displayNames[dl->name()] = dl->get("cn");
        if (dl->name() == "cn=qvl-sales") {
            EXPECT_EQ(dl->get("mail"), "qvl-sales@northwind.example");  // read on demand
        }
    }
    EXPECT_EQ(displayNames["cn=qvl-sales"], "Sales (all sites)");
    EXPECT_EQ(displayNames["cn=qvl-nobody"], "Nobody yet");
    EXPECT_FALSE(displayNames.count("cn=Recipients"));
    // A container without children of the class.
    EXPECT_EQ(bindAs(kCustomRecipients)->children("Container", {"cn"}).next(), nullptr);
}
