#include "engine/DLOutcome.h"

#include <nlohmann/json.hpp>

namespace qv {
namespace {

std::string base64(const std::string& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return text;
}

// A value LDIF may carry as it is: SAFE-STRING without a trailing blank,
// which some readers would drop.
bool safeAsIs(const std::string& value) {
    if (value.empty()) return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') return false;
    for (unsigned char c : value)
        if (c == 0 || c == '\n' || c == '\r' || c >= 0x80) return false;
    return true;
}

std::string line(const std::string& attribute, const std::string& value) {
    return safeAsIs(value) ? attribute + ": " + value + "\n" : attribute + ":: " + base64(value) + "\n";
}

}  // namespace

std::string LdifRecord(const DLOutcome& outcome) {
    if (!outcome.refused.empty())
        return "# not written, " + outcome.refused + ": " + (safeAsIs(outcome.dn) ? outcome.dn : base64(outcome.dn)) +
               "\n";
    if (!outcome.rewrite) return {};
    std::string ldif = line("dn", outcome.dn) + "changetype: modify\n";
    if (outcome.after == 0)
        return ldif + "replace: member\n" + (outcome.emptyMember.empty() ? "" : line("member", outcome.emptyMember)) +
               "-\n\n";
    // A name respelled is deleted in its old spelling and added in its new
    // one, as the pass writes it; the delete comes first, as the directory
    // holds both spellings as one value. The placeholder goes with the names that go.
    auto gone = ValuesToDelete(outcome.delta);
    if (!outcome.placeholder.empty()) gone.push_back(outcome.placeholder);
    for (const auto& [operation, names] : {std::pair{"delete", gone}, std::pair{"add", ValuesToAdd(outcome.delta)}}) {
        if (names.empty()) continue;
        ldif += std::string(operation) + ": member\n";
        for (const auto& name : names) ldif += line("member", name);
        ldif += "-\n";
    }
    return ldif + "\n";
}

std::string JsonRecord(const DLOutcome& outcome) {
    nlohmann::ordered_json json;
    json["dn"] = outcome.dn;
    json["adspath"] = outcome.adsPath;
    json["before"] = outcome.before;
    json["after"] = outcome.after;
    json["added"] = outcome.delta.added;
    json["removed"] = outcome.delta.removed;
    json["refused"] = nullptr;
    if (!outcome.refused.empty()) json["refused"] = outcome.refused;
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace qv
