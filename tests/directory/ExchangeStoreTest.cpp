// The store of one server: connecting, the two forms of Query, and creating
// and deleting DLs, against the reference directory.
#include <gtest/gtest.h>

#include <functional>

#include "DirectorySupport.h"
#include "directory/clsExchangeStore.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv;
using namespace qv::test;

namespace {

std::set<std::string> dnsOf(const DirObjects& objects) {
    std::set<std::string> dns;
    for (const auto& object : objects) dns.insert(object->distinguishedName);
    return dns;
}

const std::string kNotice =
    "This is an automated distribution list, please do not modify membership.  Membership is controlled by Quorvel.";

}  // namespace

TEST(ExchangeStore, ConnectReadsTheNamingContexts) {
    const auto& dir = sharedDirectory();
    auto store = clsExchangeStore::create();
    store->lastError().SetProperties(7, "old", "old");
    ASSERT_TRUE(store->Connect(logon(kWriter, true), "ldap://" + dir.server() + "/o=Northwind Traders"));
    EXPECT_EQ(store->StoreName(), dir.server());
    EXPECT_EQ(store->Path(), "LDAP://" + dir.server());
    EXPECT_EQ(store->Organization(), kOrg);
    EXPECT_EQ(store->Site(), "ou=Amsterdam");
    EXPECT_EQ(store->Config(), std::string("cn=Configuration,") + kSite);
    EXPECT_EQ(store->lastError().Number, 0);
    EXPECT_EQ(store->lastError().Description, "");
    EXPECT_EQ(store->Connection()->LogonString(), "dc=CORP,cn=writer,cn=admin");

    // As the logged-on user: no credentials are sent, whatever the password says.
    auto anonymous = std::make_shared<clsConnection>();
    anonymous->setPassword("not sent");
    EXPECT_TRUE(store->Connect(anonymous, dir.server())) << store->lastError().Description;
    EXPECT_EQ(store->Connection(), anonymous);
}

TEST(ExchangeStore, ConnectReportsBadLogons) {
    const auto& dir = sharedDirectory();
    auto store = clsExchangeStore::create();
    EXPECT_FALSE(store->Connect(logon({kWriter.user, "wrong-password"}), dir.server()));
    EXPECT_EQ(store->lastError().Number, err::LogonFailure);
    EXPECT_FALSE(store->lastError().Description.empty());
    EXPECT_EQ(store->lastError().UserDescription, store->lastError().Description);
    EXPECT_EQ(store->lastError().Description.find("wrong-password"), std::string::npos);
    // The marker in another case is an account name like any other.
    auto other = std::make_shared<clsConnection>();
    other->setUsername("##currentuser##");
    other->setPassword("x");
    EXPECT_FALSE(store->Connect(other, dir.server()));  // "dc=,cn=##currentuser##" is no name the server accepts
    EXPECT_NE(store->lastError().Number, 0);
    // A failed connect still names the new server.
    EXPECT_EQ(store->Path(), "LDAP://" + dir.server());
}

TEST(ExchangeStore, ConnectToAServerThatIsNotThere) {
    ShortTimeouts timeouts;
    ReferenceDirectory stopped;
    std::string server = stopped.server();
    stopped.stop();
    ReferenceDirectory silent;
    silent.freeze();
    for (const std::string& name : {server, std::string("no-such-host.invalid"), silent.server()}) {
        auto store = clsExchangeStore::create();
        EXPECT_FALSE(store->Connect(logon(kWriter), name)) << name;
        EXPECT_EQ(store->lastError().Number, 0) << name;
        EXPECT_EQ(store->lastError().Description, "Server is not running LDAP or does not exist.") << name;
        EXPECT_EQ(store->lastError().UserDescription, "") << name;
        EXPECT_EQ(store->StoreName(), clsExchangeStore::GetServerName(name));
    }
    silent.thaw();
}

namespace {

// A directory whose root entry lists exactly `contexts`.
std::unique_ptr<ReferenceDirectory> directoryWithContexts(const TempDir& folder, const std::string& contexts) {
    writeFile(folder.file("rootdse.ldif"), "dn:\ndefaultNamingContext: o=Northwind Traders\n" + contexts);
    RefDirOptions options;
    options.rootDse = folder.file("rootdse.ldif");
    // The server lists its own databases too; hide them from the root entry.
    options.globalConf =
        "access to dn.base=\"\" attrs=namingContexts "
        "val.regex=\"^(cn=(admin|writer|reader|limited)|o=[Nn]orthwind [Tt]raders)$\"\n\tby * none\n";
    return std::make_unique<ReferenceDirectory>(options);
}

}  // namespace

TEST(ExchangeStore, ARootEntryWithOneOrThreeNamingContextsIsNoExchangeServer) {
    TempDir folder;
    auto dir = directoryWithContexts(folder,
                                     "namingContexts: cn=Microsoft DMD,ou=Amsterdam,o=Northwind Traders\n"
                                     "namingContexts: ou=Amsterdam,o=Northwind Traders\n"
                                     "namingContexts: cn=Site-Addressing,ou=Amsterdam,o=Northwind Traders\n");
    auto root = platform::BoundObject::bind("LDAP://" + dir->server() + "/RootDSE", platform::Credentials::currentUser());
    ASSERT_EQ(root->getEx("namingContexts").size(), 3u);

    auto store = clsExchangeStore::create();
    store->setConfig("kept");
    EXPECT_FALSE(store->Connect(logon(kWriter), dir->server()));
    EXPECT_EQ(store->lastError().Number, 0);
    EXPECT_EQ(store->lastError().Description, "This does not appear to be an Exchange Server.");
    EXPECT_EQ(store->lastError().UserDescription, "");
    // Read as far as it went: the site was read, the configuration was not.
    EXPECT_EQ(store->Organization(), kOrg);
    EXPECT_EQ(store->Site(), "ou=Amsterdam");
    EXPECT_EQ(store->Config(), "kept");

    // One context is no Exchange server either.
    TempDir otherFolder;
    auto one = directoryWithContexts(otherFolder, "namingContexts: ou=Amsterdam,o=Northwind Traders\n");
    EXPECT_FALSE(store->Connect(logon(kWriter), one->server()));
    EXPECT_EQ(store->lastError().Description, "This does not appear to be an Exchange Server.");
}

TEST(ExchangeStore, ConnectingTwiceShowsTheSecondServer) {
    ReferenceDirectory second;
    auto store = connected();
    ASSERT_TRUE(store->Connect(logon(kReader), second.server()));
    EXPECT_EQ(store->StoreName(), second.server());
    EXPECT_EQ(store->Path(), "LDAP://" + second.server());
    EXPECT_EQ(store->Connection()->Username(), "reader");
}

TEST(ExchangeStore, QueryRunsASearchWithTheFixedAttributes) {
    const auto& dir = sharedDirectory();
    auto store = connected();
    std::string query = "<" + store->Path() + "/" + kDistributionLists +
                        ">;(objectClass=groupOfNames);cn,ADsPath,distinguishedName;oneLevel";
    auto result = store->Query(query);
    ASSERT_TRUE(result.ok()) << result.error()->description();
    EXPECT_EQ(query, "<" + store->Path() + "/" + kDistributionLists +
                         ">;(objectClass=groupOfNames);adsPath,rdn,uid,mail,cn,objectClass,Obj-View-Containers,"
                         "distinguishedName;oneLevel");
    EXPECT_EQ(dnsOf(result.objects()), LdapTool(dir).dns(kDistributionLists, "(objectClass=groupOfNames)", "one"));
    for (const auto& dl : result.objects()) {
        if (dl->uid != "qvl-sales") continue;
        EXPECT_EQ(dl->adsPath, dir.adsPath(dl->distinguishedName));
        EXPECT_EQ(dl->cn, "Sales (all sites)");
        EXPECT_EQ(dl->objectClass, "groupOfNames");
        EXPECT_EQ(dl->container, kDistributionLists);
        EXPECT_EQ(dl->mail, "qvl-sales@northwind.example");
        EXPECT_EQ(dl->rdn, "qvl-sales");
        EXPECT_EQ(dl->objExchangeStore, store);
        EXPECT_TRUE(dl->Instantiated);
    }
    // Nothing found: an empty collection, and lastError untouched by a success.
    store->lastError().SetProperties(5, "earlier", "earlier");
    std::string nothing = "<" + store->Path() + "/" + kSite + ">;(department=Procurement);cn;subtree";
    auto empty = store->Query(nothing);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.objects().Count(), 0);
    EXPECT_EQ(store->lastError().Number, 5);
}

TEST(ExchangeStore, QueryOfOneObjectByItsAddress) {
    auto store = connected();
    std::string path = store->Path() + "/o=Northwind Traders/ou=Amsterdam/cn=Recipients/cn=van Dijk\\, Eva";
    std::string query = path;
    auto result = store->Query(query);
    ASSERT_TRUE(result.ok()) << result.error()->description();
    ASSERT_EQ(result.objects().Count(), 1);
    auto eva = result.objects().Item(1);
    EXPECT_EQ(eva->adsPath, path);
    EXPECT_EQ(eva->distinguishedName, std::string("cn=van Dijk\\2C Eva,") + kRecipients);
    EXPECT_EQ(eva->cn, "Eva van Dijk");
    EXPECT_EQ(eva->objectClass, "organizationalPerson");
    EXPECT_EQ(eva->uid, "evandijk");
    EXPECT_EQ(eva->container, kRecipients);
    EXPECT_EQ(query, path);

    std::string missing = store->Path() + "/cn=no-such-dl," + kDistributionLists;
    auto failed = store->Query(missing);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(store->lastError().Number, err::NoSuchObject);
    EXPECT_THROW(failed.objects(), Error);
}

TEST(ExchangeStore, AFailedQueryHasNoCollection) {
    auto store = connected();
    // Two fields: there is no attribute list to replace.
    std::string twoParts = "<" + store->Path() + "/" + kSite + ">;(cn=*)";
    auto failed = store->Query(twoParts);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(store->lastError().Number, err::SubscriptOutOfRange);
    EXPECT_EQ(twoParts, "<" + store->Path() + "/" + kSite + ">;(cn=*)");
    try {
        failed.objects();
        ADD_FAILURE() << "a failed search handed out a collection";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::SubscriptOutOfRange);
    }
    // A base that does not exist (the other search failures: DirectorySearch and QueryNames below).
    std::string noBase = "<" + store->Path() + "/ou=Nowhere,o=Northwind Traders>;(cn=*);cn;subtree";
    EXPECT_FALSE(store->Query(noBase).ok());
    EXPECT_EQ(store->lastError().Number, err::SearchTableNotFound);
    EXPECT_EQ(store->lastError().UserDescription, store->lastError().Description);
}

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
    auto limited = connected(kLimited);
    std::string everything = "<" + limited->Path() + "/" + kSite + ">;(objectClass=*);cn;subtree";
    EXPECT_THROW(limited->QueryNames(everything), Error);
    EXPECT_EQ(limited->lastError().Number, err::SizeLimitExceeded);
}

TEST(ExchangeStore, CreateADlWhoseDisplayNameDiffersFromItsAlias) {
    const auto& dir = sharedDirectory();
    auto store = connected();
    DirectoryObject request;
    request.container = store->Path() + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists";
    request.objectClass = "GroupOfNames";
    request.cn = "Quarterly Review, \"Team\"";
    request.uid = "qrt";
    request.mail = "qrt@northwind.example";
    ASSERT_TRUE(store->CreateADSIObject(request)) << store->lastError().Description;
    EXPECT_EQ(store->lastError().Number, 0);
    EXPECT_TRUE(request.adsPath.empty());  // the caller's object is not changed

    std::string dn = std::string("cn=qrt,") + kDistributionLists;
    EXPECT_EQ(countInLog(dir, "ADD dn=\"" + dn + "\""), 1);
    LdapTool tool(dir);
    auto entry = tool.search(dn, "(objectClass=*)", "base").at(0);
    EXPECT_EQ(entry.values("cn"), (std::vector<std::string>{"Quarterly Review, \"Team\"", "qrt"}));
    EXPECT_EQ(entry.first("uid"), "qrt");
    EXPECT_EQ(entry.first("mail"), "qrt@northwind.example");
    EXPECT_EQ(entry.first("rfc822Mailbox"), "qrt@northwind.example");
    EXPECT_EQ(entry.first("Hide-DL-Membership"), "TRUE");
    EXPECT_EQ(entry.first("Report-To-Originator"), "TRUE");
    EXPECT_EQ(entry.first("Report-To-Owner"), "FALSE");
    EXPECT_EQ(entry.first("Replication-Sensitivity"), "20");
    EXPECT_EQ(entry.first("textEncodedORaddress"), "c=US;a= ;p=Northwind Trader;o=Amsterdam;s=qrt;");
    EXPECT_EQ(entry.first("info"), kNotice);
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

    // Renamed later: the alias stays among the names.
    std::string path = dir.adsPath(dn);
    auto found = store->Query(path);
    ASSERT_TRUE(found.ok()) << found.error()->description();
    auto dl = found.objects().Item(1);
    EXPECT_EQ(dl->cn, "Quarterly Review, \"Team\"");
    EXPECT_EQ(dl->container, "");  // the program's own DLs carry no container attribute
    EXPECT_TRUE(dl->SetPropertyEx("cn", std::string("Quarterly Review")));
    EXPECT_EQ(tool.values(dn, "cn"), (std::vector<std::string>{"Quarterly Review", "qrt"}));

    // Deleting it right after: its container is its parent in the directory.
    store->DeleteADSIObject(dl);
    EXPECT_EQ(dl, nullptr);
    EXPECT_FALSE(tool.exists(dn));
}

TEST(ExchangeStore, AliasesWithCommasAndSlashesAreEscapedInNames) {
    const auto& dir = sharedDirectory();
    auto store = connected();
    DirectoryObject request;
    request.container = store->Path() + "/" + kDistributionLists;
    request.objectClass = "groupOfNames";
    request.cn = "Smith, Jones & Partners";
    request.uid = "smith, jones/partners";
    request.mail = "sjp@northwind.example";
    ASSERT_TRUE(store->CreateADSIObject(request)) << store->lastError().Description;
    std::string dn = std::string("cn=smith\\2C jones/partners,") + kDistributionLists;
    LdapTool tool(dir);
    ASSERT_TRUE(tool.exists(dn));
    std::string query = "<" + store->Path() + "/" + kDistributionLists + ">;(uid=smith, jones/partners);cn;onelevel";
    auto found = store->Query(query);
    ASSERT_TRUE(found.ok()) << found.error()->description();
    ASSERT_EQ(found.objects().Count(), 1);
    auto dl = found.objects().Item(1);
    EXPECT_EQ(dl->distinguishedName, dn);
    EXPECT_EQ(dl->GetPropertiesEx({"cn"}).text("cn"), "Smith, Jones & Partners");
    store->DeleteADSIObject(dl);
    EXPECT_FALSE(tool.exists(dn));
}

TEST(ExchangeStore, DeleteADlFoundByQuery) {
    const auto& dir = sharedDirectory();
    std::string dn = addScratchDl(dir, "scratch-delete", kDistributionLists,
                                  std::string("Obj-View-Containers: ") + kDistributionLists + "\n");
    auto store = connected();
    std::string query = "<" + store->Path() + "/" + kDistributionLists + ">;(uid=scratch-delete);cn;onelevel";
    auto found = store->Query(query);
    ASSERT_TRUE(found.ok());
    auto dl = found.objects().Item(1);
    EXPECT_EQ(dl->container, kDistributionLists);
    auto kept = dl;
    store->DeleteADSIObject(dl);
    EXPECT_EQ(dl, nullptr);
    EXPECT_FALSE(LdapTool(dir).exists(dn));

    // Gone already: the error reaches the caller, whose reference stays.
    try {
        store->DeleteADSIObject(kept);
        ADD_FAILURE() << "deleted twice";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::NoSuchObject);
    }
    EXPECT_NE(kept, nullptr);
    // A reader may not delete.
    auto reader = connected(kReader);
    std::string nobody = "<" + reader->Path() + "/" + kDistributionLists + ">;(uid=qvl-nobody);cn;onelevel";
    auto target = reader->Query(nobody).objects().Item(1);
    try {
        reader->DeleteADSIObject(target);
        ADD_FAILURE() << "a reader deleted a DL";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::AccessDenied);
    }
    EXPECT_TRUE(LdapTool(dir).exists(std::string("cn=qvl-nobody,") + kDistributionLists));
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
