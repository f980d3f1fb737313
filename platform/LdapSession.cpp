#include "platform/LdapSession.h"

#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"

namespace qv::platform::detail {
namespace {

constexpr double kNetworkTimeoutSeconds = 10;
constexpr double kOperationTimeoutSeconds = 60;

timeval toTimeval(double seconds) {
    double whole = std::floor(seconds);
    return timeval{static_cast<time_t>(whole), static_cast<suseconds_t>((seconds - whole) * 1e6)};
}

constexpr const char* kNetworkTimeoutVariable = "QUORVEL_LDAP_NETWORK_TIMEOUT";
constexpr const char* kOperationTimeoutVariable = "QUORVEL_LDAP_TIMEOUT";

// The seconds the environment variable sets; nothing when it is unset or
// empty; NaN when its value is not a number of seconds the program takes.
std::optional<double> timeoutFromEnvironment(const char* variable) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end != text && *end == '\0' && seconds > 0 && seconds < 1e6) return seconds;
    return std::nan("");
}

// The timeout from the environment variable, else from ldap.conf (libldap's
// global option), else the program's default; in seconds.
double timeoutSetting(const char* variable, int option, double fallback) {
    if (auto seconds = timeoutFromEnvironment(variable); seconds && !std::isnan(*seconds)) return *seconds;
    timeval* raw = nullptr;
    if (ldap_get_option(nullptr, option, &raw) == LDAP_OPT_SUCCESS && raw) {
        const std::unique_ptr<timeval, MemoryDeleter> configured(raw);
        if (raw->tv_sec > 0 || raw->tv_usec > 0) return double(raw->tv_sec) + double(raw->tv_usec) / 1e6;
    }
    return fallback;
}

std::string textOption(LDAP* ld, int option) {
    char* raw = nullptr;
    if (ldap_get_option(ld, option, &raw) != LDAP_OPT_SUCCESS || !raw) return {};
    LdapText owned(raw);
    return owned.get();
}

// The layout of Cyrus SASL's sasl_interact_t, which libldap hands to the
// interaction callback (the SASL headers are not needed for this one struct).
struct SaslInteract {
    unsigned long id;
    const char* challenge;
    const char* prompt;
    const char* defresult;
    const void* result;
    unsigned len;
};
constexpr unsigned long kSaslUser = 0x4001, kSaslAuthName = 0x4002, kSaslRealm = 0x4008;

// Answers SASL's questions without asking anybody: the identities and realm
// that ldap.conf configures, otherwise the mechanism's own defaults. The
// answers live in `store` (a deque keeps their addresses) until the bind ends.
int answerSaslQuietly(LDAP* ld, unsigned, void* store, void* questions) {
    auto& answers = *static_cast<std::deque<std::string>*>(store);
    for (auto* q = static_cast<SaslInteract*>(questions); q->id != 0; ++q) {
        int option = q->id == kSaslUser ? LDAP_OPT_X_SASL_AUTHZID
                     : q->id == kSaslAuthName ? LDAP_OPT_X_SASL_AUTHCID
                     : q->id == kSaslRealm   ? LDAP_OPT_X_SASL_REALM
                                             : 0;
        std::string answer = option ? textOption(ld, option) : std::string();
        if (answer.empty() && q->defresult) answer = q->defresult;
        const std::string& kept = answers.emplace_back(std::move(answer));
        q->result = kept.c_str();
        q->len = static_cast<unsigned>(kept.size());
    }
    return LDAP_SUCCESS;
}

// One pooled connection per address's servers (all of them: the one that
// answers serves the whole list) and credentials.
std::string poolKey(const AdsPath& server, const Credentials& credentials) {
    std::string urls = server.url();
    for (std::size_t i = 1; i < server.servers.size(); ++i) urls += ' ' + server.url(i);
    if (credentials.loggedOnUser) return urls + '\n' + '\x01';
    return urls + '\n' + credentials.user + '\n' + credentials.password;
}

struct Pool {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Connection>> connections;
};

// The servers this thread's SameServer scopes keep to, by pool key.
struct HeldServers {
    int depth = 0;  // live scopes
    std::map<std::string, std::string> servers;
};
thread_local HeldServers held;

Pool& pool() {
    static Pool instance;
    return instance;
}

void setOptions(Connection& connection, timeval network, timeval operation) {
    LDAP* ld = connection.get();
    int version = LDAP_VERSION3;
    if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
        ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
        ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON) != LDAP_OPT_SUCCESS ||
        ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network) != LDAP_OPT_SUCCESS ||
        ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operation) != LDAP_OPT_SUCCESS)
        connection.fail(LDAP_LOCAL_ERROR);
}

void simpleBind(Connection& connection, const std::string& dn, const std::string& password) {
    berval credential = bervalOf(password);
    int msgid = 0;
    int rc = ldap_sasl_bind(connection.get(), dn.c_str(), LDAP_SASL_SIMPLE, &credential, nullptr, nullptr, &msgid);
    if (rc != LDAP_SUCCESS) connection.fail(rc);
    Message result = connection.await(msgid, false);
    connection.check(result.get());
}

void saslBind(Connection& connection, const std::string& mechanism) {
    std::deque<std::string> answers;
    int rc = ldap_sasl_interactive_bind_s(connection.get(), nullptr, mechanism.c_str(), nullptr, nullptr,
                                          LDAP_SASL_QUIET, answerSaslQuietly, &answers);
    if (rc != LDAP_SUCCESS) connection.fail(rc);
}

void bind(Connection& connection, const Credentials& credentials) {
    if (!credentials.loggedOnUser) return simpleBind(connection, credentials.user, credentials.password);
    std::string mechanism = textOption(connection.get(), LDAP_OPT_X_SASL_MECH);
    if (!mechanism.empty()) return saslBind(connection, mechanism);
    simpleBind(connection, "", "");
}

// How long opening a connection may take in all: connecting, the TLS
// handshake and the answer to the bind.
std::chrono::duration<double> openingLimit(const DirectoryTimeouts& timeouts) {
    return std::chrono::duration<double>(timeouts.network + timeouts.operation);
}

// A write to a connection the server has closed must fail as an error, not
// end the process: libldap and its TLS layer write with plain write(2), which
// raises SIGPIPE. A handler the program set itself is left alone.
void ignoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) ::signal(SIGPIPE, SIG_IGN);
    });
}

// True when a TLS connection to `url` comes up once the server's certificate
// is no longer checked: then the check was what failed. Nothing is sent on it.
bool tlsWorksUnverified(const std::string& url, const DirectoryTimeouts& timeouts) {
    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, url.c_str()) != LDAP_SUCCESS || !raw) return false;
    ConnectWatch watch(raw);  // outlives the handle below
    Handle probe(raw);
    timeval network = toTimeval(timeouts.network);
    int never = LDAP_OPT_X_TLS_NEVER, notServer = 0;
    if (ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &network) != LDAP_OPT_SUCCESS ||
        ldap_set_option(raw, LDAP_OPT_X_TLS_REQUIRE_CERT, &never) != LDAP_OPT_SUCCESS ||
        ldap_set_option(raw, LDAP_OPT_X_TLS_NEWCTX, &notServer) != LDAP_OPT_SUCCESS)
        return false;
    return watch.within(openingLimit(timeouts), [&] { return ldap_connect(raw) == LDAP_SUCCESS; });
}

// What a connection that could not be opened and bound failed with, in the
// terms the program reports: a deadline that ran out, a certificate that
// could not be verified, or the bind's outcome naming the server.
LdapFailure openingFailure(const LdapFailure& failure, Connection& connection, const std::string& url,
                           const AdsScheme& scheme, const Credentials& credentials, const DirectoryTimeouts& timeouts) {
    const std::string& where = connection.where();
    if (connection.watch().expired()) {
        const auto seconds = static_cast<long>(std::ceil(openingLimit(timeouts).count()));
        const std::string why = "the connection was not open within " + std::to_string(seconds) + " seconds";
        return LdapFailure(LDAP_TIMEOUT, directoryError(LDAP_TIMEOUT, why, {}, where));
    }
    // Only a server that took the connection can have failed the certificate check.
    if (failure.serverGone() && scheme.tls && !url.empty() && connection.watch().connected() &&
        tlsWorksUnverified(url, timeouts))
        return LdapFailure(kLdapCertificateUntrusted, directoryError(kLdapCertificateUntrusted, {}, {}, where));
    if (failure.code() < 0) return failure;  // libldap's own outcomes name the server already
    const int code = credentials.loggedOnUser ? failure.code() : bindOutcome(failure.code());
    std::string description = failure.description();
    if (code != failure.code()) description = ldapErrorText(code) + ": " + description;
    return LdapFailure(code, Error(errorNumberFor(code), description + " [" + where + "]"));
}

// A connection to server `index` of `server`.
std::shared_ptr<Connection> connect(const AdsPath& server, std::size_t index, const Credentials& credentials) {
    ignoreBrokenPipes();
    DirectoryTimeouts timeouts = directoryTimeouts();
    timeval network = toTimeval(timeouts.network);
    timeval operation = toTimeval(timeouts.operation);
    std::string url = server.url(index);
    std::string where = url.empty() ? "the default server" : url;
    LDAP* raw = nullptr;
    int rc = ldap_initialize(&raw, url.empty() ? nullptr : url.c_str());
    Handle handle(raw);
    if (rc != LDAP_SUCCESS || !handle) throw LdapFailure(rc, directoryError(rc, {}, {}, where));
    auto connection = std::make_shared<Connection>(std::move(handle), where, operation);
    setOptions(*connection, network, operation);
    try {
        connection->watch().within(openingLimit(timeouts), [&] { bind(*connection, credentials); });
    } catch (const LdapFailure& failure) {
        throw openingFailure(failure, *connection, url, *server.scheme, credentials, timeouts);
    }
    return connection;
}

// True when a server that could not be opened this way is passed over for the
// next server of its address: it refused or dropped the connection, did not
// answer the connect or the bind in time, or answered that it cannot serve now.
bool passedOver(const LdapFailure& failure) {
    return failure.serverGone() || failure.code() == LDAP_TIMEOUT || failure.code() == LDAP_BUSY ||
           failure.code() == LDAP_UNAVAILABLE;
}

// A connection to the first of the address's servers (or only to `only`,
// when it is one of them) that can be opened, tried in order. When none can,
// the failure is the last server's, its description preceded by the others'.
std::shared_ptr<Connection> connectToOne(const AdsPath& server, const Credentials& credentials,
                                         const std::string& only) {
    std::vector<std::size_t> order;
    const std::size_t count = std::max<std::size_t>(server.servers.size(), 1);
    for (std::size_t i = 0; i < count; ++i)
        if (server.url(i) == only) order.push_back(i);
    if (order.empty())
        for (std::size_t i = 0; i < count; ++i) order.push_back(i);
    std::string passed;
    for (std::size_t n = 0;; ++n) {
        try {
            return connect(server, order[n], credentials);
        } catch (const LdapFailure& failure) {
            if (!passedOver(failure) || n + 1 == order.size())
                throw LdapFailure(failure.code(), Error(failure.number(), passed + failure.description()));
            passed += failure.description() + "; ";
        }
    }
}

}  // namespace

Connection::Connection(Handle handle, std::string where, timeval timeout)
    : watch_(std::make_unique<ConnectWatch>(handle.get())),
      handle_(std::move(handle)),
      where_(std::move(where)),
      timeout_(timeout) {}

Message Connection::await(int msgid, bool oneAtATime) {
    timeval timeout = timeout_;
    LDAPMessage* raw = nullptr;
    int rc = ldap_result(get(), msgid, oneAtATime ? LDAP_MSG_ONE : LDAP_MSG_ALL, &timeout, &raw);
    Message message(raw);
    // The first answer of a server list within a SameServer scope holds the scope to this server.
    if (rc > 0 && held.depth > 0 && !list_.empty()) held.servers.emplace(list_, where_);
    if (rc == 0) {
        ldap_abandon_ext(get(), msgid, nullptr, nullptr);
        broken_ = true;  // the server may answer later; nothing may read that answer as another's
        fail(LDAP_TIMEOUT);
    }
    if (rc < 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(get(), LDAP_OPT_RESULT_CODE, &code);
        fail(code == LDAP_SUCCESS ? LDAP_SERVER_DOWN : code);
    }
    return message;
}

void Connection::fail(int code) {
    if (code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT) broken_ = true;
    std::string diagnostic = textOption(get(), LDAP_OPT_DIAGNOSTIC_MESSAGE);
    throw LdapFailure(code, directoryError(code, diagnostic, {}, where_));
}

void Connection::check(LDAPMessage* result, Controls* controls) {
    int code = LDAP_SUCCESS;
    char* matched = nullptr;
    char* diagnostic = nullptr;
    LDAPControl** serverControls = nullptr;
    int rc = ldap_parse_result(get(), result, &code, &matched, &diagnostic, nullptr,
                               controls ? &serverControls : nullptr, 0);
    LdapText matchedText(matched), diagnosticText(diagnostic);
    if (controls) controls->reset(serverControls);
    if (rc != LDAP_SUCCESS) fail(rc);
    if (code == LDAP_SUCCESS) return;
    throw LdapFailure(code, directoryError(code, diagnostic ? diagnostic : "", matched ? matched : ""));
}

std::shared_ptr<Connection> openConnection(const AdsPath& server, const Credentials& credentials, bool& reused) {
    const std::string key = poolKey(server, credentials);
    Pool& p = pool();
    {
        std::lock_guard lock(p.mutex);
        auto it = p.connections.find(key);
        if (it != p.connections.end() && !it->second->broken()) {
            reused = true;
            return it->second;
        }
        if (it != p.connections.end()) p.connections.erase(it);
    }
    const auto kept = held.depth > 0 ? held.servers.find(key) : held.servers.end();
    auto connection = connectToOne(server, credentials, kept == held.servers.end() ? std::string() : kept->second);
    if (server.servers.size() > 1) connection->servesList(key);
    std::lock_guard lock(p.mutex);
    p.connections[key] = connection;
    reused = false;
    return connection;
}

std::shared_ptr<Connection> openOwnConnection(const AdsPath& server, const Credentials& credentials) {
    return connectToOne(server, credentials, std::string());
}

void discardConnection(const std::shared_ptr<Connection>& connection) {
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    for (auto it = p.connections.begin(); it != p.connections.end(); ++it) {
        if (it->second == connection) {
            p.connections.erase(it);
            return;
        }
    }
}

}  // namespace qv::platform::detail

namespace qv::platform {

SameServer::SameServer() { ++detail::held.depth; }

SameServer::~SameServer() {
    if (--detail::held.depth == 0) detail::held.servers.clear();
}

std::string answeringServer(std::string_view adsPath, const Credentials& credentials) {
    AdsPath server;
    try {
        server = parseAdsPath(adsPath);
    } catch (const Error&) {
        return {};
    }
    if (server.servers.size() < 2) return {};
    detail::Pool& p = detail::pool();
    std::lock_guard lock(p.mutex);
    auto it = p.connections.find(detail::poolKey(server, credentials));
    return it == p.connections.end() || it->second->broken() ? std::string() : it->second->where();
}

DirectoryTimeouts directoryTimeouts() {
    return {detail::timeoutSetting(detail::kNetworkTimeoutVariable, LDAP_OPT_NETWORK_TIMEOUT,
                                   detail::kNetworkTimeoutSeconds),
            detail::timeoutSetting(detail::kOperationTimeoutVariable, LDAP_OPT_TIMEOUT,
                                   detail::kOperationTimeoutSeconds)};
}

std::string directoryTimeoutsProblem() {
    for (const char* variable : {detail::kNetworkTimeoutVariable, detail::kOperationTimeoutVariable})
        if (auto seconds = detail::timeoutFromEnvironment(variable); seconds && std::isnan(*seconds))
            return std::string(variable) + "=" + std::getenv(variable) +
                   " is not a number of seconds above 0 and below 1000000";
    return {};
}

}  // namespace qv::platform
