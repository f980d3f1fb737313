// The one table from libldap outcomes to the program's error numbers.
#include <gtest/gtest.h>

#include "platform/DirectoryErrors.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::platform;

namespace {
// LDAP result codes (RFC 4511) and libldap's own client codes, as numbers.
constexpr int kSuccess = 0, kTimeLimit = 3, kSizeLimit = 4, kAdminLimit = 11, kNoSuchAttribute = 16,
              kNoSuchObject = 32, kInvalidDn = 34, kInvalidCredentials = 49, kInsufficientAccess = 50,
              kUnwilling = 53, kNamingViolation = 64, kAlreadyExists = 68, kOther = 80;
constexpr int kServerDown = -1, kTimeout = -5, kAuthUnknown = -6, kFilterError = -7, kConnectError = -11;
}  // namespace

TEST(DirectoryErrors, OutcomesTheCallersTestHaveTheirNumbers) {
    EXPECT_EQ(errorNumberFor(kSuccess), 0);
    EXPECT_EQ(errorNumberFor(kServerDown), err::ServerDown);
    EXPECT_EQ(errorNumberFor(kConnectError), err::ServerDown);
    EXPECT_EQ(errorNumberFor(kTimeout), err::ServerDown);
    EXPECT_EQ(errorNumberFor(kInvalidCredentials), err::LogonFailure);
    EXPECT_EQ(errorNumberFor(kNoSuchObject), err::NoSuchObject);
    EXPECT_EQ(errorNumberFor(kNoSuchAttribute), err::NoSuchAttribute);
    EXPECT_EQ(errorNumberFor(kInsufficientAccess), err::AccessDenied);
    EXPECT_EQ(errorNumberFor(kAlreadyExists), err::AlreadyExists);
    EXPECT_EQ(errorNumberFor(kSizeLimit), err::SizeLimitExceeded);
    EXPECT_EQ(errorNumberFor(kTimeLimit), err::TimeLimitExceeded);
    EXPECT_EQ(errorNumberFor(kAdminLimit), err::AdminLimitExceeded);
    EXPECT_EQ(errorNumberFor(kFilterError), err::FilterUnknown);
    EXPECT_EQ(errorNumberFor(kUnwilling), err::hr(0x80072035));
    EXPECT_EQ(errorNumberFor(kNamingViolation), err::hr(0x80072037));
    EXPECT_EQ(errorNumberFor(kInvalidDn), err::hr(0x80072032));
    EXPECT_EQ(errorNumberFor(kAuthUnknown), err::hr(0x8007202A));
}

TEST(DirectoryErrors, TheSearchProviderNamesAFewOutcomesItsOwnWay) {
    EXPECT_EQ(errorNumberFor(kNoSuchObject, ErrorSource::Search), err::SearchTableNotFound);
    EXPECT_EQ(errorNumberFor(kServerDown, ErrorSource::Search), err::SearchTableNotFound);
    EXPECT_EQ(errorNumberFor(kConnectError, ErrorSource::Search), err::SearchTableNotFound);
    EXPECT_EQ(errorNumberFor(kInsufficientAccess, ErrorSource::Search), err::SearchAccessDenied);
    // Everything else as the directory service reports it.
    EXPECT_EQ(errorNumberFor(kSizeLimit, ErrorSource::Search), err::SizeLimitExceeded);
    EXPECT_EQ(errorNumberFor(kInvalidCredentials, ErrorSource::Search), err::LogonFailure);
    EXPECT_EQ(errorNumberFor(kFilterError, ErrorSource::Search), err::FilterUnknown);
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
