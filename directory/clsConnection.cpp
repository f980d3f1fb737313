#include "directory/clsConnection.h"

namespace qv {

clsConnection::clsConnection() {
    setUsername(CurrentUser);
    setAdmin(false);
}

void clsConnection::setUsername(std::string value) {
    username_ = std::move(value);
    BuildLogonString();
}

void clsConnection::setAdmin(bool value) {
    admin_ = value;
    BuildLogonString();
}

void clsConnection::setDomain(std::string value) {
    domain_ = std::move(value);
    BuildLogonString();
}

void clsConnection::BuildLogonString() {
    if (isBindDn()) {
        logonString_ = username_;
        return;
    }
    logonString_ = "dc=" + domain_ + ",cn=" + username_;
    if (admin_) logonString_ += ",cn=admin";
}

}  // namespace qv
