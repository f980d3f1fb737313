#pragma once
// One of the directories the compatibility tests run against, each a private
// server on a free loopback port in a temporary folder, stopped on
// destruction: the reference directory (refdir/refdir.sh), a stock slapd with
// Debian's standard schemas (tests/servers/slapd.sh) or 389 Directory Server
// (tests/servers/ds389.sh); the stock two hold tests/servers/organisation.ldif.in.
// A suite run over all three:
//
//   class PassTest : public DirectoryTest {};
//   TEST_P(PassTest, Sales) {
//       auto& d = directory();
//       const auto& o = d.layout();
//       std::string filter = "(" + std::string(o.department) + "=Sales)";
//       auto dl = d.addDl(o.dlContainer, "qvl-x", d.definition(o.peopleBase, filter));
//       ... run Quorvel on a profile holding d.authentication(Role::Service) ...
//       EXPECT_EQ(d.tool().members(dl), d.tool().dns(o.peopleBase, filter));
//   }
//   QUORVEL_ALL_DIRECTORIES(PassTest);
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LdapTool.h"

namespace qv::test {

enum class DirectoryKind { Reference, StockSlapd, Ds389 };
const char* kindName(DirectoryKind kind);  // "Reference", "StockSlapd", "Ds389"
std::vector<DirectoryKind> allDirectoryKinds();

// Where a directory keeps things and what it calls them.
struct DirectoryLayout {
    const char* organisation;     // o=Northwind Traders | dc=example,dc=com
    const char* peopleBase;       // where the people live (subtree)
    const char* dlContainer;      // where the seed's DLs live
    const char* definitionField;  // extension-attribute-15 | description
    const char* personClass;      // organizationalPerson | inetOrgPerson
    const char* department;       // department | departmentNumber
    const char* containerClass;   // Container (cn=) | organizationalUnit (ou=)
    const char* containerRdn;
};

// Who logs on. Admin may change anything in the organisation (the reference
// directory's writer; the stock servers' root DN); Service is Quorvel's
// account; Blind may write `member` but not read it (stock servers only).
enum class Role { Admin, Service, Reader, Limited, Blind };

struct Logon {
    std::string user;      // the profile's User: a logon name, or on the stock servers a bind DN
    std::string domain;    // the profile's Domain; empty where `user` is a DN
    std::string password;
    std::string bindDn;    // what LDAP tools bind with
};

class DirectoryUnderTest {
public:
    explicit DirectoryUnderTest(DirectoryKind kind);
    ~DirectoryUnderTest();
    DirectoryUnderTest(const DirectoryUnderTest&) = delete;
    DirectoryUnderTest& operator=(const DirectoryUnderTest&) = delete;
    // One instance per kind for the whole test binary, started on first use.
    static DirectoryUnderTest& shared(DirectoryKind kind);

    DirectoryKind kind() const { return kind_; }
    const DirectoryLayout& layout() const;
    std::string prefix() const { return "QVL="; }
    const std::string& server() const { return server_; }  // "127.0.0.1:PORT"
    std::string adsPath(const std::string& dn) const { return "LDAP://" + server_ + "/" + dn; }
    // The last lines of the server's log of operations (389-DS: its access log).
    std::string logTail(int lines = 40) const;

    // A stored query as Quorvel writes it: prefix, <ADsPath of base>, filter, fields, scope.
    std::string definition(const std::string& base, const std::string& filter,
                           const std::string& scope = "subtree") const;
    // Added as Admin in this directory's schema; each returns the new entry's DN.
    std::string addContainer(const std::string& parent, const std::string& name) const;
    std::string addDl(const std::string& container, const std::string& alias, const std::string& definition,
                      const std::vector<std::string>& members = {}) const;

    bool has(Role role) const { return kind_ != DirectoryKind::Reference || role != Role::Blind; }
    Logon logon(Role role) const;
    std::string authentication(Role role) const;  // a profile's [Authentication] section
    LdapTool tool(Role role = Role::Admin) const;

private:
    DirectoryKind kind_;
    std::string dir_, server_, url_, adminDn_, adminPassword_;
};

// Base of a suite run once per directory kind; prints the server's log under a failed test.
class DirectoryTest : public ::testing::TestWithParam<DirectoryKind> {
protected:
    DirectoryUnderTest& directory() const { return DirectoryUnderTest::shared(GetParam()); }
    void TearDown() override;
};

inline std::string directoryTestName(const ::testing::TestParamInfo<DirectoryKind>& param) {
    return kindName(param.param);
}

#define QUORVEL_ALL_DIRECTORIES(Suite)                                                                  \
    INSTANTIATE_TEST_SUITE_P(Directories, Suite, ::testing::ValuesIn(::qv::test::allDirectoryKinds()), \
                             ::qv::test::directoryTestName)

}  // namespace qv::test
