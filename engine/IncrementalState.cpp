#include "engine/IncrementalState.h"

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "platform/AtomicFile.h"
#include "platform/FileText.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

namespace qv {
namespace {

using Json = nlohmann::json;

// A state file holds a few lines per DL and its names; anything larger is not one.
constexpr std::size_t kMaxStateBytes = std::size_t(1) << 30;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Cookies are octet strings: kept as hexadecimal digits, so that any byte survives JSON.
std::string hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) text += {kDigits[c >> 4], kDigits[c & 15]};
    return text;
}

int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::invalid_argument("not a hexadecimal digit");
}

std::string unhex(const std::string& text) {
    if (text.size() % 2) throw std::invalid_argument("odd number of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) bytes += char(digit(text[i]) * 16 + digit(text[i + 1]));
    return bytes;
}

Json toJson(const DlSyncState& dl) {
    Json found = Json::array();
    for (const auto& [uuid, dn] : dl.found) found.push_back({uuid, dn});
    return {{"definition", dl.definition}, {"server", dl.server},   {"cookie", hex(dl.cookie)},
            {"found", found},              {"members", dl.members}, {"entryCSN", dl.csn},
            {"lastFullPass", dl.lastFullPass}};
}

DlSyncState fromJson(const Json& json) {
    DlSyncState dl;
    dl.definition = json.at("definition").get<std::string>();
    dl.server = json.at("server").get<std::string>();
    dl.cookie = unhex(json.at("cookie").get<std::string>());
    for (const auto& pair : json.at("found")) dl.found.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
    dl.members = json.at("members").get<std::vector<std::string>>();
    dl.csn = json.at("entryCSN").get<std::string>();
    dl.lastFullPass = json.at("lastFullPass").get<std::int64_t>();
    return dl;
}

// A duration: a whole number with s, m, h or d after it; a bare number counts hours.
std::optional<std::chrono::seconds> duration(std::string_view text) {
    text = platform::trimBlanks(text);
    std::int64_t unit = 3600;
    if (!text.empty() && !(text.back() >= '0' && text.back() <= '9')) {
        switch (platform::lowerAscii(text.back())) {
            case 's': unit = 1; break;
            case 'm': unit = 60; break;
            case 'h': unit = 3600; break;
            case 'd': unit = 86400; break;
            default: return std::nullopt;
        }
        text.remove_suffix(1);
        text = platform::trimBlanks(text);
    }
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return std::chrono::seconds(value * unit);
}

}  // namespace

std::string IncrementalState::PathFor(const std::string& profilePath) {
    std::filesystem::path name = std::filesystem::path(profilePath).filename();
    if (platform::equalsIgnoringCase(name.extension().string(), ".ini")) name = name.stem();
    std::string folder = environment("STATE_DIRECTORY");
    folder = folder.substr(0, folder.find(':'));  // systemd lists one folder per StateDirectory= entry
    if (folder.empty()) {
        const std::string xdg = environment("XDG_STATE_HOME");
        folder = (xdg.empty() ? environment("HOME") + "/.local/state" : xdg) + "/quorvel";
    }
    return folder + "/" + name.string() + ".state";
}

IncrementalState::IncrementalState(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target)) {
    load();
}

void IncrementalState::load() {
    const auto file = platform::readFileText(path_, kMaxStateBytes);
    if (file.status == platform::FileReadStatus::Missing) return;
    if (file.status == platform::FileReadStatus::Failed) {
        discarded_ = "cannot be read: " + platform::fileReadProblem(path_);
        return;
    }
    try {
        const Json json = Json::parse(file.text);
        if (json.at("format").get<int>() != kFormat) {
            discarded_ = "is of format " + json.at("format").dump() + ", not " + std::to_string(kFormat);
            return;
        }
        if (json.at("target").get<std::string>() != target_) {
            discarded_ = "was kept for another target: " + json.at("target").get<std::string>();
            return;
        }
        for (const auto& [adsPath, dl] : json.at("dls").items()) dls_.emplace(adsPath, fromJson(dl));
    } catch (const std::exception& bad) {
        dls_.clear();
        discarded_ = std::string("is not a state file: ") + bad.what();
    }
}

const DlSyncState* IncrementalState::Find(const std::string& adsPath) const {
    const auto at = dls_.find(adsPath);
    return at == dls_.end() ? nullptr : &at->second;
}

void IncrementalState::Put(const std::string& adsPath, DlSyncState state) { dls_[adsPath] = std::move(state); }

void IncrementalState::Drop(const std::string& adsPath) { dls_.erase(adsPath); }

std::string IncrementalState::Save() const {
    std::string text;
    try {
        Json dls = Json::object();
        for (const auto& [adsPath, dl] : dls_) dls[adsPath] = toJson(dl);
        text = Json{{"format", kFormat}, {"target", target_}, {"dls", dls}}.dump(1) + "\n";
    } catch (const std::exception& bad) {  // a name that is not UTF-8
        return bad.what();
    }
    std::error_code failed;
    const std::filesystem::path folder = platform::folderOf(path_);
    if (std::filesystem::create_directories(folder, failed); failed)
        return "cannot create " + folder.string() + ": " + failed.message();
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, failed);  // a new folder only
    return platform::replaceFileAtomically(path_, text, 0600);
}

bool ApplySyncUpdate(std::vector<std::pair<std::string, std::string>>& found, const platform::SyncUpdate& update) {
    using platform::SyncEntry;
    std::unordered_map<std::string, std::size_t> at;  // entryUUID -> position in `result`
    std::vector<std::pair<std::string, std::string>> result = found;
    std::vector<bool> left(result.size(), update.wholeSet);  // a present phase names every entry that stays
    for (std::size_t i = 0; i < result.size(); ++i) at.emplace(result[i].first, i);
    for (const auto& entry : update.entries) {
        const auto known = at.find(entry.uuid);
        if (entry.state == SyncEntry::State::Delete) {
            if (known != at.end()) left[known->second] = true;
            continue;
        }
        if (known == at.end()) {
            if (entry.dn.empty()) return false;
            at.emplace(entry.uuid, result.size());
            result.emplace_back(entry.uuid, entry.dn);
            left.push_back(false);
            continue;
        }
        left[known->second] = false;
        if (!entry.dn.empty()) result[known->second].second = entry.dn;
    }
    for (const auto& uuid : update.deleted)
        if (const auto known = at.find(uuid); known != at.end()) left[known->second] = true;
    found.clear();
    for (std::size_t i = 0; i < result.size(); ++i)
        if (!left[i]) found.push_back(std::move(result[i]));
    return true;
}

std::vector<std::string> HeldAfterChange(const std::vector<std::string>& held, const std::vector<std::string>& removed,
                                         const std::vector<std::string>& added) {
    std::unordered_multiset<std::string> gone(removed.begin(), removed.end());
    std::vector<std::string> result;
    for (const auto& value : held) {
        if (const auto match = gone.find(value); match != gone.end()) {
            gone.erase(match);
            continue;
        }
        result.push_back(value);
    }
    result.insert(result.end(), added.begin(), added.end());
    return result;
}

IncrementalSettings ReadIncrementalSettings(const std::function<std::string(const char*, const char*)>& read) {
    IncrementalSettings settings;
    if (auto text = read("General", "Incremental"); !text.empty()) {
        const std::string word = platform::lowerAscii(platform::trimBlanks(text));
        if (word != "true" && word != "false")
            throw std::invalid_argument("Incremental=" + text + " is not valid: it takes true or false");
        settings.enabled = word == "true";
    }
    if (auto text = read("General", "FullPassEvery"); !text.empty()) {
        const auto every = duration(text);
        if (!every)
            throw std::invalid_argument("FullPassEvery=" + text +
                                        " is not valid: it takes a whole number with s, m, h or d (hours without)");
        settings.fullPassEvery = *every;
    }
    return settings;
}

}  // namespace qv
