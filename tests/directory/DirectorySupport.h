#pragma once
// Helpers shared by the directory tests: credentials of the reference
// accounts, scratch DLs, the slapd log, environment settings for one test.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "directory/clsExchangeStore.h"
#include "platform/DirectoryCredentials.h"
#include "platform/Error.h"
#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

namespace qv::test {

// The logon form dc=CORP,cn=USER, or with admin dc=CORP,cn=USER,cn=admin.
platform::Credentials credentialsOf(Account account, bool admin = false);

// The logon of `account` (domain CORP) as the program's connection record.
std::shared_ptr<clsConnection> logon(Account account, bool admin = false);
// A store bound to the shared reference directory as `account`.
inline std::shared_ptr<clsExchangeStore> connected(Account account = kWriter) {
    auto store = clsExchangeStore::create();
    EXPECT_TRUE(store->Connect(logon(account), sharedDirectory().server())) << store->lastError().Description;
    return store;
}

// Adds a DL with alias `alias` (its RDN) below `container` and returns its DN.
std::string addScratchDl(const ReferenceDirectory& dir, const std::string& alias,
                         const std::string& container = kDistributionLists,
                         const std::string& extraLdif = {});

// How often `needle` occurs in the slapd log of `dir` (stats level: one line per operation).
int countInLog(const ReferenceDirectory& dir, const std::string& needle);

// The seed organisation plus a container "cn=Bulk,<site>" holding `lists` DLs
// "cn=bulk-NNNNN" and `people` people "cn=person-NNNNN"; returns the seed file written into `folder`.
std::string bulkSeed(const std::string& folder, int lists, int people);
inline constexpr const char* kBulk = "cn=Bulk,ou=Amsterdam,o=Northwind Traders";

// The error `action` raised, or number 0 ("no error") when it raised none.
inline Error errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e;
    }
    return Error(0, "no error");
}

// Short timeouts, so that a silent server fails a test in a second.
struct ShortTimeouts {
    ScopedEnv network{"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"};
    ScopedEnv operation{"QUORVEL_LDAP_TIMEOUT", "1"};
};

}  // namespace qv::test
