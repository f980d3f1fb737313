#include "platform/LdapSession.h"

#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>

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

// The timeout from the environment variable, else from ldap.conf (libldap's
// global option), else the program's default; in seconds.
double timeoutSetting(const char* variable, int option, double fallback) {
    if (const char* text = std::getenv(variable)) {
        char* end = nullptr;
        double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds > 0 && seconds < 1e6) return seconds;
    }
    timeval* configured = nullptr;
    if (ldap_get_option(nullptr, option, &configured) == LDAP_OPT_SUCCESS && configured) {
        timeval copy = *configured;
        ldap_memfree(configured);
        if (copy.tv_sec > 0 || copy.tv_usec > 0) return double(copy.tv_sec) + double(copy.tv_usec) / 1e6;
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

std::string poolKey(const std::string& url, const Credentials& credentials) {
    if (credentials.loggedOnUser) return url + '\n' + '\x01';
    return url + '\n' + credentials.user + '\n' + credentials.password;
}

struct Pool {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Connection>> connections;
};

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

std::shared_ptr<Connection> connect(const AdsPath& server, const Credentials& credentials) {
    DirectoryTimeouts timeouts = directoryTimeouts();
    timeval network = toTimeval(timeouts.network);
    timeval operation = toTimeval(timeouts.operation);
    std::string url = server.url();
    std::string where = url.empty() ? "the default server" : url;
    LDAP* raw = nullptr;
    int rc = ldap_initialize(&raw, url.empty() ? nullptr : url.c_str());
    Handle handle(raw);
    if (rc != LDAP_SUCCESS || !handle) throw LdapFailure(rc, directoryError(rc, {}, {}, where));
    auto connection = std::make_shared<Connection>(std::move(handle), where, operation);
    setOptions(*connection, network, operation);
    try {
        bind(*connection, credentials);
    } catch (const LdapFailure& failure) {
        if (failure.code() < 0) throw;  // libldap's own outcomes name the server already
        throw LdapFailure(failure.code(), Error(failure.number(), failure.description() + " [" + where + "]"));
    }
    return connection;
}

}  // namespace

Connection::Connection(Handle handle, std::string where, timeval timeout)
    : handle_(std::move(handle)), where_(std::move(where)), timeout_(timeout) {}

Message Connection::await(int msgid, bool oneAtATime) {
    timeval timeout = timeout_;
    LDAPMessage* raw = nullptr;
    int rc = ldap_result(get(), msgid, oneAtATime ? LDAP_MSG_ONE : LDAP_MSG_ALL, &timeout, &raw);
    Message message(raw);
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
    std::string key = poolKey(server.url(), credentials);
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
    auto connection = connect(server, credentials);
    std::lock_guard lock(p.mutex);
    p.connections[key] = connection;
    reused = false;
    return connection;
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

DirectoryTimeouts directoryTimeouts() {
    return {detail::timeoutSetting("QUORVEL_LDAP_NETWORK_TIMEOUT", LDAP_OPT_NETWORK_TIMEOUT, detail::kNetworkTimeoutSeconds),
            detail::timeoutSetting("QUORVEL_LDAP_TIMEOUT", LDAP_OPT_TIMEOUT, detail::kOperationTimeoutSeconds)};
}

}  // namespace qv::platform
