#include "engine/QueryString.h"

#include <array>

#include "platform/AdsPath.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace qv {

namespace {

// Simple case folding of the letters a prefix is likely to hold: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic capitals map to their small
// letters; every other code point stands for itself.
char32_t foldCase(char32_t c) {
    if (c < 0x80) return static_cast<char32_t>(platform::lowerAscii(static_cast<char>(c)));
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;  // Y with diaeresis
    const bool evenCapital = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c != 0x130 && ((evenCapital && c % 2 == 0) || (oddCapital && c % 2 == 1))) return c + 1;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

// The four fields of a query, or nothing when it does not have exactly four.
std::optional<std::array<std::string_view, 4>> fourFields(std::string_view query) {
    std::array<std::string_view, 4> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t end = query.find(QuerySeparator, start);
        if (end == std::string_view::npos) return std::nullopt;
        fields[i] = query.substr(start, end - start);
        start = end + 1;
    }
    fields[3] = query.substr(start);
    if (fields[3].find(QuerySeparator) != std::string_view::npos) return std::nullopt;
    return fields;
}

bool validBase(std::string_view base) {
    if (platform::utf8Length(base) <= 9) return false;
    return base.front() == '<' && platform::findScheme(base.substr(1)) && base.back() == '>';
}

// "**" is refused too: no server takes it as a filter.
bool validFilter(std::string_view filter) {
    if (platform::utf8Length(filter) <= 5 || filter.front() != '(' || filter.back() != ')') return false;
    if (filter.find("**") != std::string_view::npos) return false;
    long depth = 0;  // may go below zero on the way; only the end counts
    for (char c : filter) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
    }
    return depth == 0;
}

}  // namespace

bool ValidQuery(std::string_view strQuery) noexcept {
    const auto fields = fourFields(strQuery);
    if (!fields) return false;
    const auto& [base, filter, attributes, scope] = *fields;
    return validBase(base) && validFilter(filter) && platform::utf8Length(attributes) > 3 &&
           platform::utf8Length(scope) > 5;
}

bool HasQuorvelPrefix(std::string_view value, std::string_view prefix) noexcept {
    std::size_t v = 0, p = 0;
    while (p < prefix.size()) {
        if (v >= value.size()) return false;
        const auto fromValue = platform::decodeUtf8(value, v);
        const auto fromPrefix = platform::decodeUtf8(prefix, p);
        if (foldCase(fromValue.value) != foldCase(fromPrefix.value)) return false;
        v += fromValue.length;
        p += fromPrefix.length;
    }
    return true;
}

std::optional<std::string> QueryFromDefinition(std::string_view value, std::string_view prefix) {
    if (!HasQuorvelPrefix(value, prefix)) return std::nullopt;
    return std::string(value.substr(platform::utf8Offset(value, platform::utf8Length(prefix))));
}

std::vector<std::string> SplitQuery(std::string_view query) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = query.find(QuerySeparator, start)) != std::string_view::npos; start = end + 1) {
        fields.emplace_back(query.substr(start, end - start));
    }
    fields.emplace_back(query.substr(start));
    return fields;
}

std::string JoinQuery(const std::vector<std::string>& fields) {
    std::string query;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) query += QuerySeparator;
        query += fields[i];
    }
    return query;
}

std::string ReplaceQueryField(std::string_view query, std::size_t field, std::string_view text) {
    auto fields = SplitQuery(query);
    if (field < 1 || field > fields.size()) throw Error(err::SubscriptOutOfRange, "Subscript out of range");
    fields[field - 1] = std::string(text);
    return JoinQuery(fields);
}

}  // namespace qv
