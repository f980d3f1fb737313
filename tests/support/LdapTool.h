#pragma once
// Reads and writes the reference directory with OpenLDAP's own command-line
// tools, independently of the program's directory layer, so that a test can
// check what really reached the server.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/ReferenceDirectory.h"

namespace qv::test {

struct LdapEntry {
    std::string dn;
    std::map<std::string, std::vector<std::string>> attributes;  // lower-case names
    const std::vector<std::string>& values(const std::string& name) const;
};

class LdapTool {
public:
    // Binds as the writer account unless told otherwise.
    explicit LdapTool(const ReferenceDirectory& dir, Account account = kWriter);
    // Binds to any server at url ("ldap://host:port") with a DN and password.
    LdapTool(std::string url, std::string bindDn, std::string password);

    std::vector<LdapEntry> search(const std::string& base, const std::string& filter = "(objectClass=*)",
                                  const std::string& scope = "sub",
                                  const std::vector<std::string>& attributes = {}) const;
    std::set<std::string> dns(const std::string& base, const std::string& filter = "(objectClass=*)",
                              const std::string& scope = "sub") const;
    // All values of one attribute of one entry (empty when the entry or attribute is absent).
    std::vector<std::string> values(const std::string& dn, const std::string& attribute) const;
    std::set<std::string> members(const std::string& dn) const;
    bool exists(const std::string& dn) const;

    // Applies LDIF change records with ldapmodify; throws with the tool's message on failure.
    void modify(const std::string& ldif) const;
    void replace(const std::string& dn, const std::string& attribute, const std::vector<std::string>& values) const;
    void add(const std::string& ldif) const;  // entries without changetype
    void remove(const std::string& dn) const;

private:
    // Runs an OpenLDAP tool bound as the account; throws with its message when it fails (but for `allowed`).
    std::string run(const std::string& tool, const std::vector<std::string>& arguments, const std::string& input = {},
                    int allowed = 0) const;
    std::string url_, bindDn_, password_;
};

}  // namespace qv::test
