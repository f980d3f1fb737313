#pragma once
// Internal to the directory service: a deadline for opening a connection.
// libldap's network timeout bounds the TCP connect, but a TLS handshake with
// a server that accepted the connection and then never answers spins inside
// libldap for good. Past the deadline the watch shuts the new socket down,
// which ends the handshake (or any other wait on it) with an error.
#include <ldap.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qv::platform::detail {

class ConnectWatch {
public:
    // Follows the sockets `ld` opens from now on. The watch must outlive the
    // handle: libldap keeps a pointer to it until the handle is freed.
    explicit ConnectWatch(LDAP* ld);
    ConnectWatch(const ConnectWatch&) = delete;
    ConnectWatch& operator=(const ConnectWatch&) = delete;

    // Runs `open`; if it has not returned within `limit`, shuts the socket
    // down so that libldap's wait on it fails.
    template <class Open>
    auto within(std::chrono::duration<double> limit, Open&& open) {
        Armed armed(*this, limit);
        return open();
    }
    // True when the last `within` ran out of time and shut the socket down.
    bool expired() {
        std::lock_guard lock(mutex_);
        return expired_;
    }
    // True once libldap has connected a socket: the server took the connection.
    bool connected() {
        std::lock_guard lock(mutex_);
        return connected_;
    }

private:
    // The deadline of one `within`: a thread that waits for it, disarmed on leaving.
    class Armed {
    public:
        Armed(ConnectWatch& watch, std::chrono::duration<double> limit);
        ~Armed();

    private:
        ConnectWatch& watch_;
        std::thread timer_;
    };

    static int added(LDAP* ld, Sockbuf* sb, LDAPURLDesc* srv, struct sockaddr* address, struct ldap_conncb* self);
    static void removed(LDAP* ld, Sockbuf* sb, struct ldap_conncb* self);

    ldap_conncb callbacks_{};
    std::mutex mutex_;  // guards the members below
    std::condition_variable disarmed_;
    bool armed_ = false;
    bool expired_ = false;
    bool connected_ = false;
    int fd_ = -1;  // the socket libldap opened last, while it is open
};

}  // namespace qv::platform::detail
