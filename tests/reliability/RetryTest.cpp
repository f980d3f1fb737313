// An add or delete that the server applied on a reused connection, whose
// answer was lost with the connection, is sent again on a new one; that
// second attempt reports the outcome of the first, not its own.
#include <gtest/gtest.h>

#include "directory/DirectorySupport.h"
#include "platform/ErrorNumbers.h"
#include "support/FaultProxy.h"

namespace {

using namespace qv;
using namespace qv::test;

TEST(RetryAfterALostAnswer, AnAppliedAddOrDeleteIsReportedAsDone) {
    FaultProxy proxy(sharedDirectory().server());
    auto store = clsExchangeStore::create();
    ASSERT_TRUE(store->Connect(logon(kWriter), proxy.server()));  // leaves a connection to reuse
    const LdapTool ldap(sharedDirectory());
    const std::string dn = "cn=retry-dl," + std::string(kDistributionLists);
    DirectoryObject dl;
    dl.container = "LDAP://" + proxy.server() + "/" + kDistributionLists;
    dl.objectClass = "groupOfNames";
    dl.cn = "Retry DL";
    dl.uid = "retry-dl";
    dl.mail = "retry-dl@example.com";

    proxy.arm(Fault::on(LdapOp::Add, dn).cutAfter(0));
    EXPECT_TRUE(store->CreateADSIObject(dl)) << store->lastError().Description;
    EXPECT_EQ(proxy.fired(), 1);
    EXPECT_EQ(ldap.values(dn, "cn").at(0), "Retry DL");

    // An entry that is not what was sent was there before: that stays a failure.
    dl.cn = "Someone else's DL";
    proxy.arm(Fault::on(LdapOp::Add, dn).cutAfter(0));
    EXPECT_FALSE(store->CreateADSIObject(dl));
    EXPECT_EQ(proxy.fired(), 2);
    EXPECT_EQ(store->lastError().Number, err::AlreadyExists);

    std::string path = "LDAP://" + proxy.server() + "/" + dn;
    QueryResult found = store->Query(path);
    ASSERT_TRUE(found.ok());
    auto object = found.objects().Item(1);
    proxy.arm(Fault::on(LdapOp::Delete, dn).cutAfter(0));
    EXPECT_EQ(errorOf([&] { store->DeleteADSIObject(object); }).number(), 0);
    EXPECT_EQ(proxy.fired(), 3);
    EXPECT_EQ(object, nullptr);
    EXPECT_FALSE(ldap.exists(dn));
}

}  // namespace
