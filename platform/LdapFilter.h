#pragma once
// Search filters as the program writes them, and as the server reads them.
//
// The program accepts filters in RFC 4515 notation and in the query designer's
// own dialect: a group written with an extra pair of parentheses around its
// terms, "(&((a=1)(b=2)))"; a negated test written "(!a=1)"; terms side by
// side with no operator, "((a=1)(b=2))", meaning all of them. The server only
// understands RFC 4515, so every filter is translated before it is sent.
// Operators in RFC 4515 style may be mixed with dialect terms, as in
// "(&(a=1)(!b=2))"; but a pair of parentheses right after an operator that
// holds further pairs (or a group) is always the dialect's extra pair, which
// holds the operator's terms. In dialect values a backslash that is not
// followed by two hexadecimal digits is a literal backslash; "*" is a wildcard.
#include <string>
#include <string_view>

namespace qv::platform {

// True when `filter` is a complete, valid RFC 4515 filter.
bool isRfc4515Filter(std::string_view filter);

// The filter in RFC 4515 notation: a valid RFC 4515 filter unchanged, a
// dialect filter translated. Throws qv::Error (err::FilterUnknown) for a text
// that is neither.
std::string toRfc4515Filter(std::string_view filter);

// True when `name` is an attribute description (RFC 4512: a descriptor such
// as "cn" or a numeric OID, with options such as ";lang-en"), the only thing
// that may stand before the "=" of a test the program builds itself.
bool isAttributeDescription(std::string_view name);

// A value escaped for use inside a filter (RFC 4515: "*", "(", ")", "\" and
// NUL become \2a, \28, \29, \5c, \00; a byte that is not part of valid
// UTF-8 becomes its \XX escape, so the result is always a valid value).
std::string escapeFilterValue(std::string_view value);

}  // namespace qv::platform
