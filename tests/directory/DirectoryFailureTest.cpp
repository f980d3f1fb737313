// The directory service when things go wrong: bad credentials, missing rights,
// missing objects, servers that are not there or never answer, and servers
// that drop the program's connection.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "DirectorySupport.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"

using namespace qv;
using namespace qv::platform;
using namespace qv::test;

namespace {

const std::string kNobodyDl = std::string("cn=qvl-nobody,") + kDistributionLists;

}  // namespace

TEST(DirectoryFailure, WrongPasswordAndUnknownAccountAreLogonFailures) {
    const auto& dir = sharedDirectory();
    Error wrong = errorOf([&] {
        BoundObject::bind(dir.adsPath(kNobodyDl), Credentials::account(kWriter.dn(), "s3cret-but-wrong"));
    });
    EXPECT_EQ(wrong.number(), err::LogonFailure);
    EXPECT_NE(wrong.description().find("Invalid credentials"), std::string::npos) << wrong.description();
    EXPECT_NE(wrong.description().find(dir.server()), std::string::npos) << wrong.description();
    EXPECT_EQ(wrong.description().find("s3cret-but-wrong"), std::string::npos);
    Error unknown = errorOf([&] {
        BoundObject::bind(dir.adsPath(kNobodyDl), Credentials::account("dc=CORP,cn=nobody", "whatever"));
    });
    EXPECT_EQ(unknown.number(), err::LogonFailure);
    // The failed bind is not kept: the right password works at once.
    EXPECT_NO_THROW(BoundObject::bind(dir.adsPath(kNobodyDl), credentialsOf(kWriter)));
}

TEST(DirectoryFailure, AReadOnlyAccountCannotWrite) {
    const auto& dir = sharedDirectory();
    auto dl = BoundObject::bind(dir.adsPath(kNobodyDl), credentialsOf(kReader));
    dl->put("info", "changed by the reader");
    Error denied = errorOf([&] { dl->setInfo(); });
    EXPECT_EQ(denied.number(), err::AccessDenied);
    EXPECT_NE(denied.description().find(kNobodyDl), std::string::npos) << denied.description();
    EXPECT_NE(LdapTool(dir).values(kNobodyDl, "info"), std::vector<std::string>{"changed by the reader"});
    auto container = BoundObject::bind(dir.adsPath(kDistributionLists), credentialsOf(kReader, true));
    auto dl2 = container->create("groupOfNames", "cn=reader-made");
    dl2->put("cn", "Reader made");
    EXPECT_EQ(errorOf([&] { dl2->setInfo(); }).number(), err::AccessDenied);
    EXPECT_EQ(errorOf([&] { container->deleteChild("groupOfNames", "cn=qvl-nobody"); }).number(), err::AccessDenied);
    EXPECT_TRUE(LdapTool(dir).exists(kNobodyDl));
}

TEST(DirectoryFailure, AnObjectThatDoesNotExist) {
    const auto& dir = sharedDirectory();
    std::string missing = std::string("cn=no-such-dl,") + kDistributionLists;
    Error e = errorOf([&] { BoundObject::bind(dir.adsPath(missing), credentialsOf(kWriter)); });
    EXPECT_EQ(e.number(), err::NoSuchObject);
    EXPECT_NE(e.description().find(kDistributionLists), std::string::npos) << e.description();
    EXPECT_EQ(errorOf([&] {
                  BoundObject::bind("LDAP://" + dir.server() + "/o=Northwind Traders/ou=Nowhere", credentialsOf(kReader));
              }).number(),
              err::NoSuchObject);
    // An object deleted after binding.
    std::string dn = addScratchDl(dir, "scratch-vanishing");
    auto dl = BoundObject::bind(dir.adsPath(dn), credentialsOf(kWriter));
    LdapTool(dir).remove(dn);
    EXPECT_EQ(errorOf([&] { dl->getInfo(); }).number(), err::NoSuchObject);
    dl->put("info", "x");
    EXPECT_EQ(errorOf([&] { dl->setInfo(); }).number(), err::NoSuchObject);
    EXPECT_EQ(errorOf([&] { BoundObject::bind("LDAP://" + dir.server() + "/cn=x,,o=y", credentialsOf(kWriter)); })
                  .number(),
              err::hr(0x80072032));  // invalid DN syntax
}

TEST(DirectoryFailure, ServersThatAreNotThereOrNeverAnswer) {
    ShortTimeouts timeouts;
    ReferenceDirectory stopped;
    std::string server = stopped.server();
    stopped.stop();
    Error refused = errorOf([&] { BoundObject::bind("LDAP://" + server + "/RootDSE", Credentials::currentUser()); });
    EXPECT_EQ(refused.number(), err::ServerDown);
    EXPECT_NE(refused.description().find(server), std::string::npos) << refused.description();
    EXPECT_EQ(errorOf([&] {
                  BoundObject::bind("LDAP://no-such-host.invalid/RootDSE", Credentials::currentUser());
              }).number(),
              err::ServerDown);

    ReferenceDirectory silent;
    silent.freeze();
    EXPECT_EQ(errorOf([&] {
                  BoundObject::bind(silent.adsPath(kNobodyDl), credentialsOf(kWriter));
              }).number(),
              err::ServerDown);
    EXPECT_EQ(errorOf([&] {
                  BoundObject::bind("LDAP://" + silent.server() + "/RootDSE", Credentials::currentUser());
              }).number(),
              err::ServerDown);
    silent.thaw();
    // Once it answers again, a new connection works.
    EXPECT_NO_THROW(BoundObject::bind(silent.adsPath(kNobodyDl), credentialsOf(kWriter)));
}

TEST(DirectoryFailure, ConnectionsAreReusedAndReopenedAfterTheServerDroppedThem) {
    RefDirOptions options;
    options.globalConf = "idletimeout 1\n";
    ReferenceDirectory dir(options);
    int accepted = countInLog(dir, " ACCEPT from");  // the start script's own probe
    for (int i = 0; i < 3; ++i) {
        auto dl = BoundObject::bind(dir.adsPath(kNobodyDl), credentialsOf(kWriter));
        dl->put("info", "round " + std::to_string(i));
        dl->setInfo();
    }
    EXPECT_EQ(countInLog(dir, " ACCEPT from"), accepted + 1);
    BoundObject::bind(dir.adsPath(kNobodyDl), credentialsOf(kReader));
    EXPECT_EQ(countInLog(dir, " ACCEPT from"), accepted + 2);

    // The server closes idle connections; the next operation opens a new one.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    auto dl = BoundObject::bind(dir.adsPath(kNobodyDl), credentialsOf(kWriter));
    dl->put("info", "after the server dropped us");
    dl->setInfo();
    EXPECT_EQ(countInLog(dir, " ACCEPT from"), accepted + 3);
    EXPECT_EQ(LdapTool(dir).values(kNobodyDl, "info"), std::vector<std::string>{"after the server dropped us"});
}
