#pragma once
// The one table from libldap outcomes (LDAP result codes and libldap's own
// negative client codes) to the error numbers the program tests, and the
// descriptions that go with them.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace qv::platform {

// Where an outcome is reported: the directory service or the search provider,
// which names a few outcomes by its own numbers.
enum class ErrorSource { Directory, Search };

// An outcome libldap has no code of its own for: it reports a TLS connection
// whose server certificate it cannot verify as LDAP_SERVER_DOWN, which the
// directory service tells apart by probing the server once more.
inline constexpr int kLdapCertificateUntrusted = -0x7001;

// Outcomes of a sync search that libldap has no code of its own for: a server
// that offers no content synchronisation for the base (it refuses the control,
// or its root entry does not list it), and one that would not resume from the
// cookie it was given (e-syncRefreshRequired, result 4096, is mapped as well).
inline constexpr int kLdapSyncUnavailable = -0x7002;
inline constexpr int kLdapSyncRefreshRequired = -0x7003;

// The outcome a failed bind with an account's password stands for. Servers
// refuse credentials in other words too (no password given, an account that
// cannot use one): each of those is a rejected logon.
int bindOutcome(int ldapCode);

// The program's number for a libldap outcome; 0 for success.
std::int32_t errorNumberFor(int ldapCode, ErrorSource source = ErrorSource::Directory);

// libldap's text for an outcome.
std::string ldapErrorText(int ldapCode);

// The error for a libldap outcome. Its description is libldap's text, then the
// server's diagnostic message and the matched DN when there are any, then
// `where` (the server or object concerned) when given.
Error directoryError(int ldapCode, std::string_view diagnostic = {}, std::string_view matchedDn = {},
                     std::string_view where = {}, ErrorSource source = ErrorSource::Directory);

}  // namespace qv::platform
