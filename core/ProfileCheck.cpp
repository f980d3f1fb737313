#include "core/ProfileCheck.h"

#include <algorithm>
#include <numeric>

#include "platform/IniFile.h"
#include "platform/Text.h"

namespace qv {
namespace {

// Sections whose unknown keys stop the run.
constexpr const char* kStrictSections[] = {"Safeguards"};

bool isStrict(const std::string& section) {
    return std::any_of(std::begin(kStrictSections), std::end(kStrictSections),
                       [&](const char* strict) { return platform::equalsIgnoringCase(section, strict); });
}

const char* knownSection(const std::string& name) {
    for (const auto& known : KnownProfileKeys())
        if (platform::equalsIgnoringCase(name, known.section)) return known.section;
    return nullptr;
}

std::string closestSection(const std::string& name) {
    const ProfileKey* best = nullptr;
    for (const auto& known : KnownProfileKeys())
        if (!best || NameDistance(name, known.section) < NameDistance(name, best->section)) best = &known;
    return std::string("[") + best->section + "]";
}

// The closest key, its section named when it is another one; a key of the
// line's own section wins a tie.
std::string closestKey(const std::string& key, const char* section) {
    const ProfileKey* best = nullptr;
    auto rank = [&](const ProfileKey& k) {
        return 2 * NameDistance(key, k.key) + (section && std::string(section) == k.section ? 0 : 1);
    };
    for (const auto& known : KnownProfileKeys())
        if (!best || rank(known) < rank(*best)) best = &known;
    if (section && std::string(section) == best->section) return best->key;
    return std::string("[") + best->section + "] " + best->key;
}

bool knownKey(const char* section, const std::string& key) {
    return std::any_of(KnownProfileKeys().begin(), KnownProfileKeys().end(), [&](const ProfileKey& k) {
        return std::string(section) == k.section && platform::equalsIgnoringCase(key, k.key);
    });
}

}  // namespace

const std::vector<ProfileKey>& KnownProfileKeys() {
    static const std::vector<ProfileKey> keys = {
        {"General", "Target"},
        {"General", "LoggingLevel"},
        {"General", "Field"},
        {"General", "Prefix"},
        {"General", "EmptyMember"},
        {"General", "Incremental"},
        {"General", "FullPassEvery"},
        {"Authentication", "User"},
        {"Authentication", "Password"},
        {"Authentication", "Domain"},
        {"Authentication", "Admin"},
        {"Safeguards", "MaxRemovePercent"},
        {"Safeguards", "MaxRemoveCount"},
        {"Safeguards", "MinMembers"},
        {"Safeguards", "AllowEmpty"},
    };
    return keys;
}

std::size_t NameDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t(0));
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution =
                diagonal + (platform::lowerAscii(a[i - 1]) == platform::lowerAscii(b[j - 1]) ? 0 : 1);
            diagonal = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, substitution});
        }
    }
    return row[b.size()];
}

std::vector<ProfileProblem> CheckProfileNames(const std::string& path) {
    std::vector<ProfileProblem> problems;
    auto report = [&](const platform::ProfileLine& line, bool fatal, const std::string& what) {
        problems.push_back({fatal, path + " line " + std::to_string(line.number) + ": " + what});
    };
    for (const auto& line : platform::readProfileLines(path)) {
        const char* section = line.section ? knownSection(*line.section) : nullptr;
        if (line.header) {
            if (!section)
                report(line, false, "unknown section [" + line.section.value_or("") + "] (did you mean " +
                                        closestSection(line.section.value_or("")) + "?); its keys are not read");
            continue;
        }
        if (line.section && !section) continue;  // its section was reported
        const bool fatal = section && isStrict(section);
        const std::string where = section ? std::string(" in [") + section + "]" : " before any section";
        if (!line.hasValue)
            report(line, fatal, "\"" + line.key + "\"" + where + " is not KEY=VALUE; it is not read");
        else if (!section || !knownKey(section, line.key))
            report(line, fatal, "unknown key " + line.key + where + " (did you mean " +
                                    closestKey(line.key, section) + "?); it is not read");
    }
    return problems;
}

}  // namespace qv
