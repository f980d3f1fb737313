#pragma once
// The credentials of every bind: an account name (or the logged-on user),
// its domain and password, and whether to use the account's admin form.
#include <string>

namespace qv {

class clsConnection {
public:
    // The user name that means "bind as the logged-on user".
    static constexpr const char* CurrentUser = "##CurrentUser##";

    clsConnection();

    // The bind name: "dc=" + Domain + ",cn=" + Username [+ ",cn=admin"], or
    // Username unchanged when it is a bind DN (see isBindDn).
    const std::string& LogonString() const { return logonString_; }
    void setLogonString(std::string value) { logonString_ = std::move(value); }

    const std::string& Username() const { return username_; }
    void setUsername(std::string value);
    bool Admin() const { return admin_; }
    void setAdmin(bool value);
    const std::string& Password() const { return password_; }
    void setPassword(std::string value) { password_ = std::move(value); }
    const std::string& Domain() const { return domain_; }
    void setDomain(std::string value);

    // True when Username is exactly the logged-on-user marker (case-sensitive).
    bool isCurrentUser() const { return username_ == CurrentUser; }
    // True when Username holds "=": an account's whole bind DN, such as
    // uid=quorvel,ou=System,dc=example,dc=com; Domain and Admin then play no part.
    bool isBindDn() const { return username_.find('=') != std::string::npos; }

private:
    void BuildLogonString();

    std::string logonString_;
    std::string domain_;
    std::string password_;
    bool admin_ = false;
    std::string username_;
};

}  // namespace qv
