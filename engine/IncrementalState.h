#pragma once
// What an incremental pass remembers of each DL from one pass to the next:
// where the DL's sync search resumes, who its query found, and the DL's
// membership as Quorvel left it. One file per profile, replaced whole
// (atomically) after each DL whose state moved on: a block of one line per
// DL, read at once, then each DL's names, read only for the DLs that need
// them (see IncrementalState.cpp for the layout).
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

namespace platform {
struct SyncUpdate;
}

// One DL's record. It is only trusted while the DL entry's entryCSN still
// reads `csn`: then nobody but Quorvel has written the DL since.
struct DlSyncState {
    std::string definition;  // the stored definition the record belongs to
    std::string server;      // the server that answered for the DL ("" for an address of one server)
    std::string cookie;      // where the query's sync search resumes
    // entryUUID and DN of each entry the query finds, in result order (new
    // entries at the end, a renamed one in its place).
    std::vector<std::pair<std::string, std::string>> found;
    std::vector<std::string> members;  // the DL's member values as Quorvel left them, placeholder included
    std::string csn;                   // the DL entry's entryCSN after that
    std::int64_t lastFullPass = 0;     // when its query last ran in full (seconds since the epoch)
    // Set when these members and found names leave a pass nothing to write:
    // how many names the DL holds and its query finds (they are as many). A
    // pass after which nothing changed below the query's base then takes
    // its outcome from here, without reading the names.
    std::optional<std::size_t> settled;
    bool operator==(const DlSyncState&) const = default;
};

class IncrementalState {
public:
    static constexpr int kFormat = 3;

    // The state file of the profile at `profilePath` (its name without
    // ".ini", plus ".state"): in $STATE_DIRECTORY (the first folder it
    // lists) under systemd, else in $XDG_STATE_HOME/quorvel, else in
    // ~/.local/state/quorvel.
    static std::string PathFor(const std::string& profilePath);

    // The state kept at `path` for the target `target`. A file that is
    // missing starts an empty state; one that cannot be read, is not a state
    // file, is of another format or was kept for another target too, and
    // Discarded() says why. Never raises for the file's sake.
    IncrementalState(std::string path, std::string target);

    // The DL's record without its names (`found` and `members` empty):
    // cheap, for deciding whether the record stands.
    const DlSyncState* FindHeader(const std::string& adsPath) const;
    // The DL's whole record; its names are read from the file on the first
    // call. Null also when they cannot be read back (the DL then runs in
    // full, and FindHeader forgets it too). Both pointers stay valid until
    // the DL's record is put or dropped.
    const DlSyncState* Find(const std::string& adsPath) const;
    void Put(const std::string& adsPath, DlSyncState state);
    // Moves a DL's record on to `header`'s fields, its names (`found`,
    // `members`, ignored in `header`) left as they are, without reading them.
    void PutHeader(const std::string& adsPath, const DlSyncState& header);
    void Drop(const std::string& adsPath);
    // Replaces the file with the whole state (its folder is created, mode
    // 0700; the file's 0600); the names of a DL whose record did not change
    // are copied as they are. Why it could not, empty on success.
    std::string Save() const;

    const std::string& Path() const { return path_; }
    // Why the file that was there is not used; empty when it is (or there was none).
    const std::string& Discarded() const { return discarded_; }
    std::size_t Size() const { return dls_.size(); }

private:
    struct Record {
        DlSyncState header;                        // without names
        mutable std::optional<DlSyncState> whole;  // with them, once read or put
        std::uint64_t offset = 0, length = 0;      // where its names are in the file read
        std::size_t foundCount = 0;                // how many entries its names start with
        bool inFile = false;                       // false once put: its names are only in `whole`
        mutable bool unreadable = false;  // its names in the file are damaged
    };
    void load();
    void loadHeaders(std::istream& in);
    const Record* record(const std::string& adsPath) const;
    bool readNames(const Record& dl, std::string& out) const;  // appends them to `out`
    std::string path_;
    std::string target_;
    std::string discarded_;
    std::map<std::string, Record> dls_;  // by the DL's ADsPath
    mutable std::ifstream file_;         // the file read, held open for its names (a replaced file lives on)
    std::uint64_t namesAt_ = 0;          // where its names start
    std::uint64_t namesSize_ = 0;
};

// Applies what a sync search reported to the entries a query found. False
// (and `found` unchanged) when the report cannot be applied: an entry it
// names without a DN that `found` does not hold.
bool ApplySyncUpdate(std::vector<std::pair<std::string, std::string>>& found, const platform::SyncUpdate& update);

// The member values a DL holds after a change deleted `removed` and added
// `added` to `held`: the values kept in their order, then the added ones.
std::vector<std::string> HeldAfterChange(const std::vector<std::string>& held, const std::vector<std::string>& removed,
                                         const std::vector<std::string>& added);

// The [General] settings of incremental passes.
struct IncrementalSettings {
    bool enabled = false;                                         // Incremental=
    std::chrono::seconds fullPassEvery = std::chrono::hours(24);  // FullPassEvery=
};

// Reads them through `read` (section, key -> the value, empty when absent).
// Raises std::invalid_argument naming the key and the value when a value is
// not one the key takes.
IncrementalSettings ReadIncrementalSettings(const std::function<std::string(const char* section, const char* key)>& read);

}  // namespace qv
