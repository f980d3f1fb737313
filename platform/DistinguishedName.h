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

// The form under which two DNs are equal exactly when a directory holds them
// as one name: parsed by libldap, escapes resolved ("\,", "\2C" and quotes
// alike), blanks between RDNs dropped, attribute types without regard to case
// (and their usual aliases and OIDs as their names), the AVAs of an RDN in
// one order, and the values of the usual case-insensitive naming attributes
// (cn, ou, o, dc, uid, mail, ...) with ASCII case folded and insignificant
// blanks dropped. Values of other attributes stay exact. A text libldap
// cannot read as a DN is its own form, compared byte for byte.
std::string dnMatchKey(std::string_view dn);

// True when `a` and `b` name the same entry by that comparison.
bool sameDn(std::string_view a, std::string_view b);

}  // namespace qv::platform
