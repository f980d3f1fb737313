#pragma once
// The directory search provider: a search command
//   <ADsPath>;filter;attributes[;scope]
// (scope base, onelevel or subtree in any case, subtree when left out) run
// paged (page size 100) and read forward, one row at a time. Fields come in
// the order of the attribute list and are found by name without regard to
// case; a missing attribute is an empty (null) field. Filters are accepted in
// the program's own dialect and in RFC 4515 notation.
//
// Failures raise qv::Error: err::SearchTableNotFound for a server that cannot
// be reached or a base that does not exist, err::SearchAccessDenied for
// missing rights, err::SearchCommandInvalid for a command that cannot be
// read, err::FilterUnknown for a bad filter, and the directory service's
// numbers for everything else. A search that the server cuts short (size,
// time or admin limit) is an error, never a short result.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AdsPath.h"
#include "platform/DirectoryCredentials.h"
#include "platform/Error.h"

namespace qv::platform {

namespace detail {
class PagedSearch;
}  // namespace detail

enum class SearchScope { Base, OneLevel, Subtree };

struct SearchCommand {
    AdsPath base;
    std::string filter;                   // as written
    std::vector<std::string> attributes;  // as written, trimmed; "ADsPath" when the list is empty
    SearchScope scope = SearchScope::Subtree;
};

// Reads a search command. Raises qv::Error for one that cannot be read.
SearchCommand parseSearchCommand(std::string_view command);

class SearchField {
public:
    SearchField(std::string name, std::vector<std::string> values)
        : name_(std::move(name)), values_(std::move(values)) {}
    // The attribute as the command's list names it.
    const std::string& name() const { return name_; }
    const std::vector<std::string>& values() const { return values_; }
    bool isNull() const { return values_.empty(); }
    // The first value, "" when the field is null.
    std::string text() const { return values_.empty() ? std::string() : values_.front(); }

private:
    std::string name_;
    std::vector<std::string> values_;
};

class SearchCursor {
public:
    ~SearchCursor();
    SearchCursor(SearchCursor&&) noexcept;
    SearchCursor& operator=(SearchCursor&&) noexcept;

    // True when there is no current row: the result was empty or has been read to its end.
    bool eof() const { return eof_; }
    // Moves to the next row (nothing at EOF). Raises qv::Error when the search fails.
    void moveNext();
    std::size_t fieldCount() const { return fields_.size(); }
    // A field of the current row, by position from 0 or by name; raises
    // err::NoCurrentRow at EOF and err::ItemNotFound for a field not in the list.
    const SearchField& field(std::size_t index) const;
    const SearchField& field(std::string_view name) const;
    // Ends the search; the cursor is at EOF afterwards.
    void close();

private:
    friend class SearchConnection;
    SearchCursor(SearchCommand command, std::unique_ptr<detail::PagedSearch> search);

    SearchCommand command_;
    std::unique_ptr<detail::PagedSearch> search_;
    std::vector<SearchField> fields_;
    bool eof_ = false;
};

// A connection for searches, with the credentials every search uses.
class SearchConnection {
public:
    explicit SearchConnection(Credentials credentials = Credentials::currentUser());
    const Credentials& credentials() const { return credentials_; }
    // Runs a search command; the cursor stands on the first row (or at EOF).
    SearchCursor execute(std::string_view command, int pageSize = 100) const;

private:
    Credentials credentials_;
};

}  // namespace qv::platform
