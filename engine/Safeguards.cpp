#include "engine/Safeguards.h"

#include <charconv>
#include <stdexcept>

#include "platform/Text.h"

namespace qv {
namespace {

constexpr const char* kSection = "Safeguards";

std::string members(std::size_t n) { return std::to_string(n) + (n == 1 ? " member" : " members"); }

// A whole number without sign or blanks inside; nothing when `text` is not one.
std::optional<std::size_t> wholeNumber(const std::string& text) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Rounded up, so that a share over a whole-number limit never reads as the limit itself.
std::size_t percentRoundedUp(std::size_t part, std::size_t whole) { return (part * 100 + whole - 1) / whole; }

[[noreturn]] void refuse(const char* key, const std::string& value, const char* wanted) {
    throw std::invalid_argument(std::string("[") + kSection + "] " + key + "=" + value + " is not " + wanted);
}

}  // namespace

std::optional<std::string> SafeguardExceeded(const Safeguards& limits, std::size_t currentCount,
                                             std::size_t newCount, std::size_t removedCount) {
    if (!limits.allowEmpty && newCount == 0 && currentCount > 0)
        return "AllowEmpty=false (the DL would be emptied)";
    if (limits.maxRemoveCount && removedCount > *limits.maxRemoveCount)
        return "MaxRemoveCount=" + std::to_string(*limits.maxRemoveCount) + " (" + members(removedCount) +
               " would be removed)";
    if (limits.maxRemovePercent && currentCount >= limits.minMembers &&
        removedCount * 100 > std::size_t(*limits.maxRemovePercent) * currentCount)
        return "MaxRemovePercent=" + std::to_string(*limits.maxRemovePercent) + " (" + members(removedCount) +
               " of " + std::to_string(currentCount) + ", " +
               std::to_string(percentRoundedUp(removedCount, currentCount)) + "%, would be removed)";
    return std::nullopt;
}

std::string ForceOption(const std::string& adsPath) {
    std::string quoted = "--force='";
    for (char c : adsPath) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Safeguards ReadSafeguards(const std::function<std::string(const char*, const char*)>& read) {
    Safeguards limits;
    if (auto text = read(kSection, "MaxRemovePercent"); !text.empty()) {
        auto value = wholeNumber(text);
        if (!value || *value > 100) refuse("MaxRemovePercent", text, "a whole number from 0 to 100");
        limits.maxRemovePercent = unsigned(*value);
    }
    if (auto text = read(kSection, "MaxRemoveCount"); !text.empty()) {
        limits.maxRemoveCount = wholeNumber(text);
        if (!limits.maxRemoveCount) refuse("MaxRemoveCount", text, "a whole number");
    }
    if (auto text = read(kSection, "MinMembers"); !text.empty()) {
        auto value = wholeNumber(text);
        if (!value) refuse("MinMembers", text, "a whole number");
        limits.minMembers = *value;
    }
    if (auto text = read(kSection, "AllowEmpty"); !text.empty()) {
        const std::string word = platform::lowerAscii(text);
        if (word != "true" && word != "false") refuse("AllowEmpty", text, "true or false");
        limits.allowEmpty = word == "true";
    }
    return limits;
}

}  // namespace qv
