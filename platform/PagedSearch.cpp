#include "platform/PagedSearch.h"

namespace qv::platform::detail {

PagedSearch::PagedSearch(AdsPath server, Credentials credentials, SearchRequest request)
    : server_(std::move(server)),
      credentials_(std::move(credentials)),
      request_(std::move(request)),
      requested_(attributesToRequest(request_.attributes)) {}

PagedSearch::~PagedSearch() {
    if (connection_ && !done_ && msgid_ >= 0 && !connection_->broken())
        ldap_abandon_ext(connection_->get(), msgid_, nullptr, nullptr);
}

void PagedSearch::open() {
    connection_ = openConnection(server_, credentials_, reused_);
    info_ = serverInfo(*connection_);
    if (request_.baseIsDefaultContext) request_.base = info_->defaultNamingContext;
    cookie_.clear();
    sendPage();
}

void PagedSearch::sendPage() {
    LDAP* ld = connection_->get();
    berval cookie = bervalOf(cookie_);
    LDAPControl* rawControl = nullptr;
    int rc = ldap_create_page_control(ld, request_.pageSize, cookie_.empty() ? nullptr : &cookie, 0, &rawControl);
    Control control(rawControl);
    if (rc != LDAP_SUCCESS) connection_->fail(rc);
    LDAPControl* controls[] = {control.get(), nullptr};
    auto attributes = cStrings(requested_);
    rc = ldap_search_ext(ld, request_.base.c_str(), request_.scope, request_.filter.c_str(), attributes.data(), 0,
                         controls, nullptr, nullptr, LDAP_NO_LIMIT, &msgid_);
    if (rc != LDAP_SUCCESS) {
        msgid_ = -1;
        connection_->fail(rc);
    }
}

bool PagedSearch::next(Entry& out) {
    if (done_) return false;
    for (bool retried = false;; retried = true) {
        try {
            if (!started_) {
                started_ = true;
                open();
            }
            return nextFromServer(out);
        } catch (const LdapFailure& failure) {
            // A pooled connection that the server closed: start over once on a new one.
            if (retried || delivered_ || !reused_ || !failure.serverGone()) {
                done_ = true;
                throw;
            }
            discardConnection(connection_);
            started_ = false;
        }
    }
}

bool PagedSearch::nextFromServer(Entry& out) {
    for (;;) {
        Message message = connection_->await(msgid_, true);
        switch (ldap_msgtype(message.get())) {
            case LDAP_RES_SEARCH_ENTRY:
                if (request_.namesOnly) {
                    out.dn = readDn(connection_->get(), message.get());
                    out.attributes.clear();
                } else {
                    out = readEntry(connection_->get(), message.get(), *info_, server_, &names_);
                }
                delivered_ = true;
                return true;
            case LDAP_RES_SEARCH_RESULT:
                if (!finishPage(message.get())) return false;
                break;
            default:  // references are not chased; intermediate messages carry nothing for us
                break;
        }
    }
}

// Checks the outcome of one page and asks for the next; false after the last page.
bool PagedSearch::finishPage(LDAPMessage* result) {
    msgid_ = -1;
    Controls controls;
    try {
        connection_->check(result, &controls);
    } catch (...) {
        done_ = true;
        throw;
    }
    cookie_.clear();
    if (LDAPControl* control = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls.get(), nullptr)) {
        ber_int_t estimate = 0;
        berval cookie{0, nullptr};
        if (ldap_parse_pageresponse_control(connection_->get(), control, &estimate, &cookie) == LDAP_SUCCESS &&
            cookie.bv_val) {
            cookie_.assign(cookie.bv_val, cookie.bv_len);
            ber_memfree(cookie.bv_val);
        }
    }
    if (cookie_.empty()) {
        done_ = true;
        if (!delivered_) confirmBase();
        return false;
    }
    sendPage();
    return true;
}

// An empty result stands only when its base exists: a server may answer a
// paged search below a base that is not there with success and no entries
// (389 Directory Server does), which must not pass for an empty result.
void PagedSearch::confirmBase() {
    if (request_.base.empty() || request_.baseKnown) return;
    if (!readBase(*connection_, request_.base, "(objectClass=*)", {LDAP_NO_ATTRS}, *info_, server_))
        throw LdapFailure(LDAP_NO_SUCH_OBJECT, directoryError(LDAP_NO_SUCH_OBJECT, {}, {}, request_.base));
}

}  // namespace qv::platform::detail
