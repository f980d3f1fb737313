// Reading several attributes of a directory object into one record, and
// writing one attribute, against the reference directory.
#include <gtest/gtest.h>

#include "DirectorySupport.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "platform/ErrorNumbers.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"

using namespace qv;
using namespace qv::test;

namespace {

std::shared_ptr<DirectoryObject> objectAt(const std::string& dn, Account account = kWriter) {
    auto object = std::make_shared<DirectoryObject>();
    object->Instantiate(sharedDirectory().adsPath(dn), "", "groupOfNames", dn, "", "", "", "", connected(account));
    return object;
}

const std::string kManagers = std::string("cn=qvl-managers,") + kDistributionLists;
const std::string kNobody = std::string("cn=qvl-nobody,") + kDistributionLists;

}  // namespace

TEST(DirectoryObject, GetPropertiesExGivesOneFieldPerName) {
    auto dl = objectAt(kManagers);
    auto bag = dl->GetPropertiesEx({"member", "extension-attribute-15", "MEMBER", "Hide-DL-Membership", "cn"});
    EXPECT_EQ(bag.names(), (std::vector<std::string>{"member", "extension-attribute-15", "Hide-DL-Membership", "cn"}));
    auto members = bag.list("member");
    EXPECT_EQ(std::set<std::string>(members.begin(), members.end()), LdapTool(sharedDirectory()).members(kManagers));
    EXPECT_EQ(members.size(), 9u);
    EXPECT_EQ(bag.text("extension-attribute-15").rfind("QVL=<LDAP://", 0), 0u);
    EXPECT_EQ(bag.text("hide-dl-membership"), "True");
    EXPECT_EQ(bag.text("cn"), "Managers");  // the first value
}

TEST(DirectoryObject, MissingAndUnknownAttributesReadEmpty) {
    auto dl = objectAt(kNobody);
    auto bag = dl->GetPropertiesEx({"member", "extension-attribute-2"});
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(bag.value("member")));  // a list, not ""
    EXPECT_TRUE(bag.list("member").empty());
    ASSERT_TRUE(std::holds_alternative<std::string>(bag.value("extension-attribute-2")));
    EXPECT_EQ(bag.text("extension-attribute-2"), "");

    // A name the directory does not know: every other field is still filled.
    auto mixed = dl->GetPropertiesEx({"cn", "no-such-attribute", "mail", "member"});
    EXPECT_EQ(mixed.text("cn"), "Nobody yet");
    EXPECT_EQ(mixed.text("mail"), "qvl-nobody@northwind.example");
    EXPECT_EQ(mixed.text("no-such-attribute"), "");
    EXPECT_TRUE(mixed.list("member").empty());
    EXPECT_EQ(mixed.size(), 4u);
}

TEST(DirectoryObject, BindFailuresReachTheCaller) {
    auto gone = objectAt(std::string("cn=no-such-dl,") + kDistributionLists);
    try {
        gone->GetPropertiesEx({"member"});
        ADD_FAILURE() << "read an object that does not exist";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::NoSuchObject);
    }
    try {
        gone->SetPropertyEx("info", std::string("x"));
        ADD_FAILURE() << "wrote an object that does not exist";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::NoSuchObject);
    }
    DirectoryObject unbound;
    EXPECT_THROW(unbound.SetPropertyEx("info", std::string("x")), Error);
    EXPECT_THROW(unbound.GetPropertiesEx({"cn"}), Error);
}

TEST(DirectoryObject, SetPropertyExWritesTextsListsBooleansAndRemovals) {
    const auto& dir = sharedDirectory();
    std::string dn = addScratchDl(dir, "scratch-set");
    auto dl = objectAt(dn);
    LdapTool tool(dir);

    EXPECT_TRUE(dl->SetPropertyEx("info", "one text, with \"quotes\" \\ and J\xC3\xB6rg"));
    EXPECT_EQ(tool.values(dn, "info"), std::vector<std::string>{"one text, with \"quotes\" \\ and J\xC3\xB6rg"});
    EXPECT_EQ(dl->lastError.Number, 0);

    std::vector<std::string> many{std::string("cn=avries,") + kRecipients, std::string("cn=van Dijk\\2C Eva,") + kRecipients,
                                  std::string("cn=xvanderveen,cn=Legal/Compliance,") + kRecipients};
    EXPECT_TRUE(dl->SetPropertyEx("member", many));
    EXPECT_EQ(tool.members(dn), std::set<std::string>(many.begin(), many.end()));
    auto read = dl->GetPropertiesEx({"member"}).list("member");
    EXPECT_EQ(std::set<std::string>(read.begin(), read.end()), std::set<std::string>(many.begin(), many.end()));

    EXPECT_TRUE(dl->SetPropertyEx("member", std::vector<std::string>{many[1]}));
    EXPECT_EQ(tool.members(dn), std::set<std::string>{many[1]});

    EXPECT_TRUE(dl->SetPropertyEx("member", std::string()));
    EXPECT_TRUE(tool.members(dn).empty());
    EXPECT_TRUE(dl->SetPropertyEx("member", ""));  // already without value
    EXPECT_TRUE(dl->SetPropertyEx("extension-attribute-9", ""));
    EXPECT_TRUE(dl->GetPropertiesEx({"member"}).list("member").empty());

    EXPECT_TRUE(dl->SetPropertyEx("Hide-DL-Membership", false));
    EXPECT_EQ(tool.values(dn, "Hide-DL-Membership"), std::vector<std::string>{"FALSE"});
    EXPECT_EQ(dl->GetPropertiesEx({"Hide-DL-Membership"}).text("Hide-DL-Membership"), "False");
}

TEST(DirectoryObject, AFailedWriteFillsLastError) {
    const auto& dir = sharedDirectory();
    auto dl = objectAt(kNobody, kReader);
    EXPECT_FALSE(dl->SetPropertyEx("member", std::vector<std::string>{std::string("cn=avries,") + kRecipients}));
    EXPECT_EQ(dl->lastError.Number, err::AccessDenied);
    EXPECT_FALSE(dl->lastError.Description.empty());
    EXPECT_EQ(dl->lastError.UserDescription, dl->lastError.Description);
    EXPECT_TRUE(LdapTool(dir).members(kNobody).empty());

    auto writer = objectAt(kNobody);
    EXPECT_FALSE(writer->SetPropertyEx("member", std::vector<std::string>{"not a dn"}));
    EXPECT_NE(writer->lastError.Number, 0);
    EXPECT_TRUE(writer->SetPropertyEx("info", "fine again"));
    EXPECT_EQ(writer->lastError.Number, 0);
    EXPECT_EQ(writer->lastError.Description, "");
}

// One request per read and one per write: the read finds the object and
// reads its attributes at once, the write needs no read before it.
TEST(DirectoryObject, ReadsAndWritesSendOneRequestEach) {
    const auto& dir = sharedDirectory();
    std::string dn = addScratchDl(dir, "scratch-requests");
    auto dl = objectAt(dn);
    const std::string read = "SRCH base=\"" + dn + "\" scope=0", write = "MOD dn=\"" + dn + "\"";
    int reads = countInLog(dir, read), writes = countInLog(dir, write);

    auto bag = dl->GetPropertiesEx({"member", "extension-attribute-15"});
    EXPECT_TRUE(bag.list("member").empty());
    EXPECT_EQ(countInLog(dir, read), reads + 1);

    EXPECT_TRUE(dl->SetPropertyEx("member", std::vector<std::string>{std::string("cn=avries,") + kRecipients}));
    EXPECT_EQ(countInLog(dir, read), reads + 1);
    EXPECT_EQ(countInLog(dir, write), writes + 1);
}
