#include "platform/DirectorySearch.h"

#include <algorithm>

#include "platform/DirectoryErrors.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapEntry.h"
#include "platform/LdapFilter.h"
#include "platform/PagedSearch.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

[[noreturn]] void invalid(std::string_view command, const std::string& why) {
    throw Error(err::SearchCommandInvalid,
                "The search command cannot be read (" + why + "): " + std::string(command));
}

SearchScope scopeOf(std::string_view command, std::string_view text) {
    text = trim(text);
    if (text.empty() || equalsIgnoringCase(text, "subtree")) return SearchScope::Subtree;
    if (equalsIgnoringCase(text, "onelevel")) return SearchScope::OneLevel;
    if (equalsIgnoringCase(text, "base")) return SearchScope::Base;
    invalid(command, "unknown scope \"" + std::string(text) + "\"");
}

int ldapScope(SearchScope scope) {
    switch (scope) {
        case SearchScope::Base: return LDAP_SCOPE_BASE;
        case SearchScope::OneLevel: return LDAP_SCOPE_ONELEVEL;
        case SearchScope::Subtree: break;
    }
    return LDAP_SCOPE_SUBTREE;
}

}  // namespace

namespace detail {

Error searchError(const LdapFailure& failure, const SearchCommand& command) {
    std::string description = failure.description();
    if (failure.code() >= 0) description += " [" + command.base.pathOf(command.base.dn) + "]";
    return Error(errorNumberFor(failure.code(), ErrorSource::Search), description);
}

SearchRequest requestFor(const SearchCommand& command, std::string_view text, int pageSize) {
    if (command.filter.empty()) throw Error(err::FilterUnknown, "The search filter is empty: " + std::string(text));
    SearchRequest request;
    request.base = command.base.target == AdsTarget::Object ? command.base.dn : std::string();
    request.baseIsDefaultContext = command.base.target == AdsTarget::Server;
    request.scope = ldapScope(command.scope);
    request.filter = toRfc4515Filter(command.filter);
    request.attributes = command.attributes;
    request.pageSize = pageSize;
    return request;
}

}  // namespace detail

SearchCommand parseSearchCommand(std::string_view command) {
    auto fields = split(command, ';');
    if (fields.size() < 3 || fields.size() > 4)
        invalid(command, "it needs the fields <ADsPath>;filter;attributes;scope");
    std::string_view base = trim(fields[0]);
    if (base.size() < 2 || base.front() != '<' || base.back() != '>')
        invalid(command, "the base must be an ADsPath in angle brackets");
    SearchCommand out;
    out.base = parseAdsPath(base.substr(1, base.size() - 2));
    out.filter = std::string(trim(fields[1]));
    for (auto name : split(fields[2], ','))
        if (!trim(name).empty()) out.attributes.emplace_back(trim(name));
    if (out.attributes.empty()) out.attributes.emplace_back("ADsPath");
    if (fields.size() == 4) out.scope = scopeOf(command, fields[3]);
    return out;
}

SearchCursor::SearchCursor(SearchCommand command, std::unique_ptr<detail::PagedSearch> search)
    : command_(std::move(command)), search_(std::move(search)) {}

SearchCursor::~SearchCursor() = default;
SearchCursor::SearchCursor(SearchCursor&&) noexcept = default;
SearchCursor& SearchCursor::operator=(SearchCursor&&) noexcept = default;

void SearchCursor::moveNext() {
    if (eof_) return;
    detail::Entry entry;
    try {
        if (!search_->next(entry)) {
            close();
            return;
        }
    } catch (const detail::LdapFailure& failure) {
        close();
        throw detail::searchError(failure, command_);
    } catch (...) {
        close();
        throw;
    }
    takeFields(entry);
}

// Moves the row's values into the fields (the entry is not needed after).
// An attribute the list names twice fills both fields.
void SearchCursor::takeFields(detail::Entry& entry) {
    const std::size_t n = command_.attributes.size();
    if (keys_.empty()) {
        const auto& info = *search_->info();
        for (const auto& name : command_.attributes) keys_.push_back(info.keyOf(name));
    }
    if (fields_.empty())
        for (const auto& name : command_.attributes) fields_.emplace_back(name, std::vector<std::string>{});
    sources_.assign(n, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        detail::Attribute* attribute = entry.find(keys_[i]);
        sources_[i] = attribute;
        auto& values = fields_[i].values_;
        auto earlier = std::find(sources_.begin(), sources_.begin() + std::ptrdiff_t(i), attribute);
        if (!attribute)
            values.clear();
        else if (earlier != sources_.begin() + std::ptrdiff_t(i))
            values = fields_[std::size_t(earlier - sources_.begin())].values_;
        else
            values = std::move(attribute->values);
    }
}

const SearchField& SearchCursor::field(std::size_t index) const {
    if (eof_) throw Error(err::NoCurrentRow, "Either BOF or EOF is True, or the current record has been deleted.");
    if (index >= fields_.size())
        throw Error(err::ItemNotFound, "Item cannot be found in the collection: field " + std::to_string(index));
    return fields_[index];
}

const SearchField& SearchCursor::field(std::string_view name) const {
    for (std::size_t i = 0; i < command_.attributes.size(); ++i)
        if (equalsIgnoringCase(command_.attributes[i], name)) return field(i);
    throw Error(err::ItemNotFound, "Item cannot be found in the collection: field " + std::string(name));
}

std::size_t SearchCursor::indexOf(std::string_view name) const {
    for (std::size_t i = 0; i < command_.attributes.size(); ++i)
        if (equalsIgnoringCase(command_.attributes[i], name)) return i;
    throw Error(err::ItemNotFound, "Item cannot be found in the collection: field " + std::string(name));
}

void SearchCursor::close() {
    eof_ = true;
    fields_.clear();
    search_.reset();
}

SearchConnection::SearchConnection(Credentials credentials) : credentials_(std::move(credentials)) {}

std::vector<std::string> SearchConnection::distinguishedNames(std::string_view text, int pageSize) const {
    SearchCommand command = parseSearchCommand(text);
    detail::SearchRequest request = detail::requestFor(command, text, pageSize);
    request.namesOnly = true;
    detail::PagedSearch search(command.base, credentials_, std::move(request));
    std::vector<std::string> names;
    detail::Entry entry;
    try {
        while (search.next(entry)) names.push_back(std::move(entry.dn));
    } catch (const detail::LdapFailure& failure) {
        throw detail::searchError(failure, command);
    }
    return names;
}

SearchCursor SearchConnection::execute(std::string_view text, int pageSize) const {
    SearchCommand command = parseSearchCommand(text);
    auto search = std::make_unique<detail::PagedSearch>(command.base, credentials_, detail::requestFor(command, text, pageSize));
    SearchCursor cursor(std::move(command), std::move(search));
    cursor.moveNext();
    return cursor;
}

}  // namespace qv::platform
