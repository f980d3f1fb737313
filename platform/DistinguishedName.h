#pragma once
// Small operations on distinguished names in their RFC 4514 text form.
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

// One attribute-value pair of an RDN, its value unescaped.
struct Ava {
    std::string attribute;
    std::string value;
};

// `value` escaped for use as an RDN value (RFC 4514).
std::string escapeDnValue(std::string_view value);

// `escaped` with its RFC 4514 escapes resolved ("\,", "\2C", "\\").
std::string unescapeDnValue(std::string_view escaped);

// The first RDN of a DN, as written ("cn=van Dijk\, Eva").
std::string firstRdn(std::string_view dn);

// The DN without its first RDN; "" for a DN of one RDN.
std::string parentDn(std::string_view dn);

// The attribute-value pairs of one RDN ("cn=a+uid=b" gives two).
std::vector<Ava> rdnValues(std::string_view rdn);

}  // namespace qv::platform
