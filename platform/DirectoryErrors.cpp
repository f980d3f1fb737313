#include "platform/DirectoryErrors.h"

#include <ldap.h>

#include <array>

#include "platform/ErrorNumbers.h"

namespace qv::platform {
namespace {

struct Mapping {
    int code;                 // LDAP result code or libldap client code
    std::int32_t directory;   // the number the directory service reports
    std::int32_t search = 0;  // the search provider's own number, 0 = the same
};

using err::hr;

// Result codes follow the directory error family 0x80072000 + n wherever the
// platform has a number for the outcome.
constexpr std::array kTable{
    Mapping{LDAP_SUCCESS, 0},
    Mapping{LDAP_OPERATIONS_ERROR, hr(0x80072020)},
    Mapping{LDAP_PROTOCOL_ERROR, hr(0x80072021)},
    Mapping{LDAP_TIMELIMIT_EXCEEDED, err::TimeLimitExceeded},
    Mapping{LDAP_SIZELIMIT_EXCEEDED, err::SizeLimitExceeded},
    Mapping{LDAP_COMPARE_FALSE, hr(0x80072025)},
    Mapping{LDAP_COMPARE_TRUE, hr(0x80072026)},
    Mapping{LDAP_AUTH_METHOD_NOT_SUPPORTED, hr(0x80072027)},
    Mapping{LDAP_STRONG_AUTH_REQUIRED, hr(0x80072028)},
    Mapping{LDAP_PARTIAL_RESULTS, hr(0x8007202B)},
    Mapping{LDAP_REFERRAL, hr(0x8007202B)},
    Mapping{LDAP_ADMINLIMIT_EXCEEDED, err::AdminLimitExceeded},
    Mapping{LDAP_UNAVAILABLE_CRITICAL_EXTENSION, err::CriticalExtension},
    Mapping{LDAP_CONFIDENTIALITY_REQUIRED, hr(0x8007202D)},
    Mapping{LDAP_SASL_BIND_IN_PROGRESS, hr(0x80072027)},
    Mapping{LDAP_NO_SUCH_ATTRIBUTE, err::NoSuchAttribute},
    Mapping{LDAP_UNDEFINED_TYPE, hr(0x8007200C)},
    Mapping{LDAP_INAPPROPRIATE_MATCHING, hr(0x8007202E)},
    Mapping{LDAP_CONSTRAINT_VIOLATION, err::ConstraintViolation},
    Mapping{LDAP_TYPE_OR_VALUE_EXISTS, err::ValueExists},
    Mapping{LDAP_INVALID_SYNTAX, hr(0x8007200B)},
    Mapping{LDAP_NO_SUCH_OBJECT, err::NoSuchObject, err::SearchTableNotFound},
    Mapping{LDAP_ALIAS_PROBLEM, hr(0x80072031)},
    Mapping{LDAP_INVALID_DN_SYNTAX, hr(0x80072032)},
    Mapping{LDAP_IS_LEAF, hr(0x80072033)},
    Mapping{LDAP_ALIAS_DEREF_PROBLEM, hr(0x80072034)},
    Mapping{LDAP_X_PROXY_AUTHZ_FAILURE, hr(0x80072029)},
    Mapping{LDAP_INAPPROPRIATE_AUTH, hr(0x80072029)},
    Mapping{LDAP_INVALID_CREDENTIALS, err::LogonFailure},
    Mapping{LDAP_INSUFFICIENT_ACCESS, err::AccessDenied, err::SearchAccessDenied},
    Mapping{LDAP_BUSY, hr(0x8007200E)},
    Mapping{LDAP_UNAVAILABLE, hr(0x8007200F)},
    Mapping{LDAP_UNWILLING_TO_PERFORM, hr(0x80072035)},
    Mapping{LDAP_LOOP_DETECT, hr(0x80072036)},
    Mapping{LDAP_NAMING_VIOLATION, hr(0x80072037)},
    Mapping{LDAP_OBJECT_CLASS_VIOLATION, hr(0x80072014)},
    Mapping{LDAP_NOT_ALLOWED_ON_NONLEAF, hr(0x80072015)},
    Mapping{LDAP_NOT_ALLOWED_ON_RDN, hr(0x80072016)},
    Mapping{LDAP_ALREADY_EXISTS, err::AlreadyExists},
    Mapping{LDAP_NO_OBJECT_CLASS_MODS, hr(0x80072017)},
    Mapping{LDAP_RESULTS_TOO_LARGE, hr(0x80072038)},
    Mapping{LDAP_AFFECTS_MULTIPLE_DSAS, hr(0x80072039)},
    Mapping{LDAP_VLV_ERROR, hr(0x80072093)},
    Mapping{LDAP_OTHER, hr(0x80072095)},
    Mapping{LDAP_CANCELLED, hr(0x800704C7)},
    Mapping{LDAP_NO_SUCH_OPERATION, hr(0x80072095)},
    Mapping{LDAP_TOO_LATE, hr(0x80072095)},
    Mapping{LDAP_CANNOT_CANCEL, hr(0x80072095)},
    Mapping{LDAP_ASSERTION_FAILED, err::AssertionFailed},
    Mapping{LDAP_X_ASSERTION_FAILED, err::AssertionFailed},
    // libldap's own outcomes. A server that cannot be reached, refuses the
    // connection or never answers is "down" for every caller.
    Mapping{LDAP_SERVER_DOWN, err::ServerDown, err::SearchTableNotFound},
    Mapping{LDAP_LOCAL_ERROR, hr(0x8007203B)},
    Mapping{LDAP_ENCODING_ERROR, hr(0x8007203C)},
    Mapping{LDAP_DECODING_ERROR, hr(0x8007203D)},
    Mapping{LDAP_TIMEOUT, err::ServerDown, err::SearchTableNotFound},
    Mapping{LDAP_AUTH_UNKNOWN, hr(0x8007202A)},
    Mapping{LDAP_FILTER_ERROR, err::FilterUnknown},
    Mapping{LDAP_USER_CANCELLED, hr(0x800704C7)},
    Mapping{LDAP_PARAM_ERROR, hr(0x8007203F)},
    Mapping{LDAP_NO_MEMORY, hr(0x8007000E)},
    Mapping{LDAP_CONNECT_ERROR, err::ServerDown, err::SearchTableNotFound},
    Mapping{LDAP_NOT_SUPPORTED, hr(0x80072040)},
    Mapping{LDAP_CONTROL_NOT_FOUND, hr(0x80072042)},
    Mapping{LDAP_NO_RESULTS_RETURNED, hr(0x80072041)},
    Mapping{LDAP_MORE_RESULTS_TO_RETURN, hr(0x80072095)},
    Mapping{LDAP_CLIENT_LOOP, hr(0x80072043)},
    Mapping{LDAP_REFERRAL_LIMIT_EXCEEDED, hr(0x80072044)},
    Mapping{LDAP_X_CONNECTING, err::ServerDown, err::SearchTableNotFound},
    Mapping{kLdapCertificateUntrusted, err::CertificateUntrusted},
    Mapping{LDAP_SYNC_REFRESH_REQUIRED, err::SyncRefreshRequired},
    Mapping{kLdapSyncRefreshRequired, err::SyncRefreshRequired},
    Mapping{kLdapSyncUnavailable, err::SyncUnavailable},
};

// Any code the table does not list: a generic directory error.
constexpr std::int32_t kUnlisted = hr(0x80072095);

const Mapping* find(int code) {
    for (const auto& m : kTable)
        if (m.code == code) return &m;
    return nullptr;
}

}  // namespace

std::int32_t errorNumberFor(int ldapCode, ErrorSource source) {
    const Mapping* m = find(ldapCode);
    if (!m) return kUnlisted;
    return source == ErrorSource::Search && m->search != 0 ? m->search : m->directory;
}

int bindOutcome(int ldapCode) {
    switch (ldapCode) {
        case LDAP_UNWILLING_TO_PERFORM:  // "unauthenticated bind (DN with no password) disallowed"
        case LDAP_INAPPROPRIATE_AUTH:    // an account without a password
            return LDAP_INVALID_CREDENTIALS;
        default:
            return ldapCode;
    }
}

std::string ldapErrorText(int ldapCode) {
    if (ldapCode == kLdapCertificateUntrusted)
        return "The server's TLS certificate cannot be verified: it is not issued by a trusted certificate "
               "authority or does not name the server (trust its authority with TLS_CACERT in ldap.conf or the "
               "LDAPTLS_CACERT environment variable)";
    if (ldapCode == kLdapSyncUnavailable) return "The server offers no content synchronisation (RFC 4533) here";
    if (ldapCode == kLdapSyncRefreshRequired || ldapCode == LDAP_SYNC_REFRESH_REQUIRED)
        return "The server cannot resume content synchronisation from the cookie it was given";
    const char* text = ldap_err2string(ldapCode);
    std::string out = text ? text : "Unknown error";
    if (!find(ldapCode)) out += " (LDAP result " + std::to_string(ldapCode) + ")";
    return out;
}

Error directoryError(int ldapCode, std::string_view diagnostic, std::string_view matchedDn, std::string_view where,
                     ErrorSource source) {
    std::string description = ldapErrorText(ldapCode);
    if (!diagnostic.empty()) description += ": " + std::string(diagnostic);
    if (!matchedDn.empty()) description += " (matched DN: " + std::string(matchedDn) + ")";
    if (!where.empty()) description += " [" + std::string(where) + "]";
    return Error(errorNumberFor(ldapCode, source), description);
}

}  // namespace qv::platform
