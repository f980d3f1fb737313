#pragma once
// Internal to the directory service and the search provider: one search, paged
// with the RFC 2696 control, read forward one entry at a time. A search that
// the server cuts short (size, time or admin limit) ends in an error, never in
// a short result.
#include <memory>
#include <string>
#include <vector>

#include "platform/AdsPath.h"
#include "platform/DirectoryCredentials.h"
#include "platform/DirectorySearch.h"
#include "platform/LdapEntry.h"
#include "platform/LdapSession.h"

namespace qv::platform::detail {

struct SearchRequest {
    std::string base;
    bool baseIsDefaultContext = false;  // search the server's default naming context instead of `base`
    int scope = LDAP_SCOPE_SUBTREE;
    std::string filter = "(objectClass=*)";
    std::vector<std::string> attributes;  // as the caller names them
    int pageSize = 100;
    bool namesOnly = false;  // entries carry their DN only (the attributes are asked for, not read)
    bool baseKnown = false;  // the base is known to be there: an empty result needs no confirming read
};

// The request a search command sends (`text` is the command as written, for
// messages). Raises for a filter that cannot be sent.
SearchRequest requestFor(const SearchCommand& command, std::string_view text, int pageSize);
// A libldap failure as the search provider reports it, naming the search base.
Error searchError(const LdapFailure& failure, const SearchCommand& command);

class PagedSearch {
public:
    // `server` names the server (and the ADsPath of every entry); nothing is sent before the first next().
    PagedSearch(AdsPath server, Credentials credentials, SearchRequest request);
    ~PagedSearch();
    PagedSearch(const PagedSearch&) = delete;
    PagedSearch& operator=(const PagedSearch&) = delete;

    // The next entry into `out`; false after the last. Throws LdapFailure.
    bool next(Entry& out);
    // The server's information; set by the first next().
    const std::shared_ptr<const ServerInfo>& info() const { return info_; }

private:
    void open();
    void sendPage();
    bool nextFromServer(Entry& out);
    bool finishPage(LDAPMessage* result);
    void confirmBase();

    AdsPath server_;
    Credentials credentials_;
    SearchRequest request_;
    std::vector<std::string> requested_;
    std::shared_ptr<Connection> connection_;
    std::shared_ptr<const ServerInfo> info_;
    AttributeNames names_;
    bool reused_ = false;
    bool started_ = false;
    bool delivered_ = false;  // an entry went out: the search can no longer start over
    bool done_ = false;
    int msgid_ = -1;
    std::string cookie_;
};

}  // namespace qv::platform::detail
