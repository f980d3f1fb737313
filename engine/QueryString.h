#pragma once
// The query string of a Quorvel DL, base;filter;attributes;scope, and the
// stored definition that carries it behind the prefix.
//
// Texts are UTF-8. Wherever a length or a position is counted in characters,
// a character is one Unicode code point; a byte that is not part of valid
// UTF-8 counts as one character of its own.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The separator of the query string's fields. There is no quoting: every ";"
// separates fields.
inline constexpr char QuerySeparator = ';';

// The syntax check applied before a query is run or parsed: exactly four
// fields, a base "<LDAP://...>" or "<LDAPS://...>" of more than 9 characters
// (scheme in any case), a filter of more than 5 characters in balanced parentheses
// without "**", an attribute list of more than 3 and a scope of more than 5 characters.
// Never throws; any failure is false.
bool ValidQuery(std::string_view strQuery) noexcept;

// True when the first characters of `value`, as many as `prefix` has, equal
// `prefix` ignoring case. An empty prefix matches every value; an empty value
// matches only the empty prefix.
bool HasQuorvelPrefix(std::string_view value, std::string_view prefix) noexcept;

// The query string of a stored definition: everything after the prefix,
// unchanged. Nothing when the definition does not carry the prefix.
std::optional<std::string> QueryFromDefinition(std::string_view value, std::string_view prefix);

// The fields of a query string: split at every ";" (one field more than
// there are separators; an empty text is one empty field).
std::vector<std::string> SplitQuery(std::string_view query);

// Fields joined with ";".
std::string JoinQuery(const std::vector<std::string>& fields);

// The query string with field `field` (counted from 1) replaced by `text`,
// all other fields unchanged. Throws qv::Error (err::SubscriptOutOfRange)
// when the query has fewer fields.
std::string ReplaceQueryField(std::string_view query, std::size_t field, std::string_view text);

}  // namespace qv
