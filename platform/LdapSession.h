#pragma once
// Internal to the directory service and the search provider: libldap handles
// in RAII wrappers, and the process-wide pool of bound connections, reused per
// server and credentials and opened again once after the server went away.
//
// Timeouts: connecting gives up after LDAP_OPT_NETWORK_TIMEOUT (10 s), waiting
// for any answer after LDAP_OPT_TIMEOUT (60 s), unless ldap.conf sets
// NETWORK_TIMEOUT or TIMEOUT. The environment variables
// QUORVEL_LDAP_NETWORK_TIMEOUT and QUORVEL_LDAP_TIMEOUT (seconds, fractions
// allowed) override both.
#include <lber.h>
#include <ldap.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/AdsPath.h"
#include "platform/ConnectWatch.h"
#include "platform/DirectoryCredentials.h"
#include "platform/DirectoryErrors.h"
#include "platform/Error.h"

namespace qv::platform::detail {

struct HandleDeleter {
    void operator()(LDAP* ld) const noexcept { ldap_unbind_ext(ld, nullptr, nullptr); }
};
struct MessageDeleter {
    void operator()(LDAPMessage* message) const noexcept { ldap_msgfree(message); }
};
struct MemoryDeleter {
    void operator()(void* memory) const noexcept { ldap_memfree(memory); }
};
struct BerDeleter {
    void operator()(BerElement* ber) const noexcept { ber_free(ber, 0); }
};
struct ValuesDeleter {
    void operator()(berval** values) const noexcept { ldap_value_free_len(values); }
};
struct ControlDeleter {
    void operator()(LDAPControl* control) const noexcept { ldap_control_free(control); }
};
struct BerArrayDeleter {
    void operator()(berval* values) const noexcept { ber_memfree(values); }
};
struct ControlsDeleter {
    void operator()(LDAPControl** controls) const noexcept { ldap_controls_free(controls); }
};
struct DnDeleter {
    void operator()(LDAPDN dn) const noexcept { ldap_dnfree(dn); }
};
using Handle = std::unique_ptr<LDAP, HandleDeleter>;
using Message = std::unique_ptr<LDAPMessage, MessageDeleter>;
using LdapText = std::unique_ptr<char, MemoryDeleter>;
using Ber = std::unique_ptr<BerElement, BerDeleter>;
using Values = std::unique_ptr<berval*, ValuesDeleter>;
using Control = std::unique_ptr<LDAPControl, ControlDeleter>;
using Controls = std::unique_ptr<LDAPControl*, ControlsDeleter>;
using BerArray = std::unique_ptr<berval, BerArrayDeleter>;  // values of ldap_get_attribute_ber
using ParsedDn = std::unique_ptr<LDAPRDN, DnDeleter>;         // ldap_str2dn's result

// A libldap failure that keeps libldap's own code, so that the pool can tell
// a server that went away from every other outcome.
class LdapFailure : public Error {
public:
    LdapFailure(int code, Error error) : Error(std::move(error)), code_(code) {}
    int code() const noexcept { return code_; }
    // The connection is gone (closed by the server, or it never came up).
    bool serverGone() const noexcept { return code_ == LDAP_SERVER_DOWN || code_ == LDAP_CONNECT_ERROR; }

private:
    int code_;
};

// One open, bound connection to one server.
class Connection {
public:
    Connection(Handle handle, std::string where, timeval timeout);
    LDAP* get() const { return handle_.get(); }
    // The deadline for opening the connection (see ConnectWatch).
    ConnectWatch& watch() { return *watch_; }
    // The server as descriptions name it.
    const std::string& where() const { return where_; }
    bool broken() const { return broken_; }
    // The connection serves an address of several servers (its pool key).
    void servesList(std::string key) { list_ = std::move(key); }

    // The next message of operation `msgid`: one search entry at a time when
    // `oneAtATime`, else the whole result. Throws LdapFailure on a timeout or
    // a lost connection.
    Message await(int msgid, bool oneAtATime);
    // Throws LdapFailure for a libldap call that returned `code`.
    [[noreturn]] void fail(int code);
    // Throws LdapFailure unless the result message reports success; hands
    // the server's controls to `controls` when given.
    void check(LDAPMessage* result, Controls* controls = nullptr);

private:
    std::unique_ptr<ConnectWatch> watch_;  // declared first: libldap uses it until the handle is gone
    Handle handle_;
    std::string where_;
    timeval timeout_;
    bool broken_ = false;
    std::string list_;
};

// A connection to `server` bound with `credentials`: the pooled one when
// there is one (`reused` becomes true), else a new one, bound and pooled. An
// address that names several servers gets the first that can be opened, in
// order, passing over those that refuse or drop the connection or do not
// answer in time; within a SameServer scope, once one has answered, only that one.
std::shared_ptr<Connection> openConnection(const AdsPath& server, const Credentials& credentials, bool& reused);
// A new connection of its own, outside the pool, for work that keeps it busy
// for long (persistent searches): bound and chosen among the address's servers
// as openConnection chooses.
std::shared_ptr<Connection> openOwnConnection(const AdsPath& server, const Credentials& credentials);
// Takes a connection out of the pool.
void discardConnection(const std::shared_ptr<Connection>& connection);

// Runs op(Connection&) on a pooled connection; when a reused connection turns
// out to be gone, opens a new one and runs op once more.
template <class Op>
auto withConnection(const AdsPath& server, const Credentials& credentials, Op&& op) {
    bool reused = false;
    auto connection = openConnection(server, credentials, reused);
    try {
        return op(*connection);
    } catch (const LdapFailure& failure) {
        if (!reused || !failure.serverGone()) throw;
    }
    discardConnection(connection);
    connection = openConnection(server, credentials, reused);
    return op(*connection);
}

// berval over a text, for libldap calls that take one.
inline berval bervalOf(const std::string& text) {
    return berval{static_cast<ber_len_t>(text.size()), const_cast<char*>(text.data())};
}

}  // namespace qv::platform::detail
