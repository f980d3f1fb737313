// The one table from libldap outcomes to the program's error numbers.
#include <gtest/gtest.h>

#include "platform/DirectoryErrors.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::platform;

namespace {
// LDAP result codes (RFC 4511) and libldap's own client codes, as numbers.
constexpr int kSuccess = 0, kTimeLimit = 3, kAdminLimit = 11, kNoSuchObject = 32, kInvalidCredentials = 49,
              kInsufficientAccess = 50, kUnwilling = 53, kNamingViolation = 64, kOther = 80;
constexpr int kTimeout = -5, kAuthUnknown = -6, kConnectError = -11;
}  // namespace

// The outcomes the reference directory can produce on demand (wrong password,
// missing rights or objects, limits, bad filters, servers away) are checked
// where they happen, in the directory tests; these it cannot produce.
TEST(DirectoryErrors, OutcomesTheCallersTestHaveTheirNumbers) {
    EXPECT_EQ(errorNumberFor(kSuccess), 0);
    EXPECT_EQ(errorNumberFor(kConnectError), err::ServerDown);
    EXPECT_EQ(errorNumberFor(kTimeout), err::ServerDown);
    EXPECT_EQ(errorNumberFor(kTimeLimit), err::TimeLimitExceeded);
    EXPECT_EQ(errorNumberFor(kAdminLimit), err::AdminLimitExceeded);
    EXPECT_EQ(errorNumberFor(kUnwilling), err::hr(0x80072035));
    EXPECT_EQ(errorNumberFor(kNamingViolation), err::hr(0x80072037));
    EXPECT_EQ(errorNumberFor(kAuthUnknown), err::hr(0x8007202A));
    EXPECT_EQ(errorNumberFor(kInsufficientAccess, ErrorSource::Search), err::SearchAccessDenied);
    EXPECT_EQ(errorNumberFor(kConnectError, ErrorSource::Search), err::SearchTableNotFound);
}

TEST(DirectoryErrors, EveryCodeHasOneFixedNumberInTheDirectoryFamily) {
    for (int code = -18; code <= 123; ++code) {
        std::int32_t number = errorNumberFor(code);
        if (code == kSuccess) continue;
        auto bits = static_cast<std::uint32_t>(number);
        EXPECT_EQ(bits & 0xFFFF0000u, 0x80070000u) << code;
        EXPECT_EQ(number, errorNumberFor(code)) << code;  // stable
    }
    // A code nobody lists still gets a number, and its description names it.
    EXPECT_EQ(errorNumberFor(4242), errorNumberFor(kOther));
    EXPECT_NE(ldapErrorText(4242).find("4242"), std::string::npos);
}

TEST(DirectoryErrors, DescriptionCarriesTextDiagnosticAndMatchedDn) {
    Error e = directoryError(kNoSuchObject, "entry missing", "ou=Amsterdam,o=Northwind Traders", "cn=x");
    EXPECT_EQ(e.number(), err::NoSuchObject);
    EXPECT_NE(e.description().find("No such object"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("entry missing"), std::string::npos);
    EXPECT_NE(e.description().find("ou=Amsterdam,o=Northwind Traders"), std::string::npos);
    EXPECT_NE(e.description().find("cn=x"), std::string::npos);
    EXPECT_EQ(directoryError(kInvalidCredentials).description(), "Invalid credentials");
}
