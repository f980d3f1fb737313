#include "platform/ConnectWatch.h"

#include <lber.h>
#include <sys/socket.h>

namespace qv::platform::detail {

ConnectWatch::ConnectWatch(LDAP* ld) {
    callbacks_.lc_add = &ConnectWatch::added;
    callbacks_.lc_del = &ConnectWatch::removed;
    callbacks_.lc_arg = this;
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callbacks_);
}

int ConnectWatch::added(LDAP*, Sockbuf* sb, LDAPURLDesc*, struct sockaddr*, struct ldap_conncb* self) {
    auto* watch = static_cast<ConnectWatch*>(self->lc_arg);
    ber_socket_t fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    std::lock_guard lock(watch->mutex_);
    watch->fd_ = fd;
    watch->connected_ = true;
    return 0;
}

void ConnectWatch::removed(LDAP*, Sockbuf*, struct ldap_conncb* self) {
    auto* watch = static_cast<ConnectWatch*>(self->lc_arg);
    std::lock_guard lock(watch->mutex_);
    watch->fd_ = -1;  // libldap closes it next: never shut down a number that may be reused
}

ConnectWatch::Armed::Armed(ConnectWatch& watch, std::chrono::duration<double> limit) : watch_(watch) {
    {
        std::lock_guard lock(watch_.mutex_);
        watch_.armed_ = true;
        watch_.expired_ = false;
    }
    timer_ = std::thread([this, limit] {
        std::unique_lock lock(watch_.mutex_);
        if (watch_.disarmed_.wait_for(lock, limit, [this] { return !watch_.armed_; })) return;
        watch_.expired_ = true;
        if (watch_.fd_ >= 0) ::shutdown(watch_.fd_, SHUT_RDWR);
    });
}

ConnectWatch::Armed::~Armed() {
    {
        std::lock_guard lock(watch_.mutex_);
        watch_.armed_ = false;
    }
    watch_.disarmed_.notify_all();
    timer_.join();
}

}  // namespace qv::platform::detail
