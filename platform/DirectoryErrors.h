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
