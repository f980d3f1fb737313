#pragma once
// Who a bind speaks for: the logged-on user (an anonymous bind, or SASL when
// the user's ldap.conf names SASL_MECH) or an account with its password
// (LDAP simple bind).
#include <string>

namespace qv::platform {

struct Credentials {
    bool loggedOnUser = true;
    std::string user;      // the bind DN of an account
    std::string password;  // never logged, never part of a description

    static Credentials currentUser() { return {}; }
    static Credentials account(std::string user, std::string password) {
        return {false, std::move(user), std::move(password)};
    }
};

}  // namespace qv::platform
