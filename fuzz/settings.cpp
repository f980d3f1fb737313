// The settings file: any content reads without a crash, and a value written
// into it (any name, any bytes) reads back exactly, the other keys intact.
#include <unistd.h>

#include <filesystem>

#include "FuzzInput.h"
#include "platform/SettingsFile.h"

namespace {
std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// A private folder on tmpfs where there is one: every write is flushed.
const std::string& folder() {
    static const std::string path = [] {
        std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/quorvel-fuzz-settings.XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    using platform::SettingsValue;
    using platform::SettingsValueType;
    const auto args = fuzz::parts(fuzz::textOf(data, size), 4);
    const std::string path = folder() + "/HKEY_CURRENT_USER.settings";
    {
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) return 0;
        std::fwrite(args[3].data(), 1, args[3].size(), out);
        std::fclose(out);
    }
    platform::SettingsFile file(path);
    (void)file.keyExists(args[0]);
    (void)file.value(args[0], args[1]);
    const std::string other = "SOFTWARE\\Other";
    const auto before = file.value(other, "Kept");
    const SettingsValue value{SettingsValueType::String, args[2], 0};
    if (!file.setValue(args[0], args[1], value)) return 0;
    const auto read = file.value(args[0], args[1]);
    fuzz::require(read && read->type == SettingsValueType::String && read->bytes == args[2],
                  "a written value reads back", args[2], read ? read->bytes : "<absent>");
    const auto after = file.value(other, "Kept");
    if (lower(args[0]) == lower(other) && lower(args[1]) == "kept") return 0;
    fuzz::require(before.has_value() == after.has_value() &&
                      (!before || (before->type == after->type && before->bytes == after->bytes &&
                                   before->dword == after->dword)),
                  "other values stay", before ? before->bytes : "<absent>", after ? after->bytes : "<absent>");
    return 0;
}
