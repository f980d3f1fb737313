// ldap.conf is honoured: its timeouts replace the program's defaults (the
// program's own environment variables come first), and SASL_MECH makes the
// logged-on user's bind a SASL bind. libldap reads the file once per process,
// so this binary sets it up before its first directory call.
#include <gtest/gtest.h>

#include "DirectorySupport.h"
#include "directory/clsExchangeStore.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv;
using namespace qv::test;

TEST(LdapConf, TimeoutsAndSaslMechanismComeFromTheUsersLdapConf) {
    TempDir home;
    writeFile(home.file("ldap.conf"), "NETWORK_TIMEOUT 3\nTIMEOUT 7\nSASL_MECH EXTERNAL\n");
    ScopedEnvironment noInit("LDAPNOINIT", std::nullopt);
    ScopedEnvironment conf("LDAPCONF", home.file("ldap.conf"));
    ScopedEnvironment rc("LDAPRC", std::nullopt);
    ScopedEnvironment homeDir("HOME", home.path());

    auto timeouts = platform::directoryTimeouts();
    EXPECT_EQ(timeouts.network, 3);
    EXPECT_EQ(timeouts.operation, 7);
    {
        ScopedEnvironment quick("QUORVEL_LDAP_TIMEOUT", "0.5");
        EXPECT_EQ(platform::directoryTimeouts().operation, 0.5);
        EXPECT_EQ(platform::directoryTimeouts().network, 3);
    }

    ReferenceDirectory dir;
    // The logged-on user binds with SASL EXTERNAL, which a plain connection cannot offer.
    auto store = clsExchangeStore::create();
    EXPECT_FALSE(store->Connect(std::make_shared<clsConnection>(), dir.server()));
    EXPECT_EQ(store->lastError().Number, err::hr(0x8007202A)) << store->lastError().Description;
    EXPECT_NE(store->lastError().Description.find("SASL"), std::string::npos) << store->lastError().Description;
    // An account still binds with its password.
    EXPECT_TRUE(store->Connect(logon(kWriter), dir.server())) << store->lastError().Description;
}

TEST(LdapConf, WithoutSettingsTheDefaultsHold) {
    // Runs after the test above in this binary; ldap.conf was read there, so only check the override order.
    ScopedEnvironment network("QUORVEL_LDAP_NETWORK_TIMEOUT", "2.5");
    ScopedEnvironment bad("QUORVEL_LDAP_TIMEOUT", "not a number");
    EXPECT_EQ(platform::directoryTimeouts().network, 2.5);
    EXPECT_EQ(platform::directoryTimeouts().operation, 7);
}
