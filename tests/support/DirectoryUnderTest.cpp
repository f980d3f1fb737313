#include "support/DirectoryUnderTest.h"

#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

namespace qv::test {
namespace {

// Each kind's start script (below the source folder), the prefix of the
// settings it prints, its log of operations (in the instance folder) and layout.
struct KindFacts {
    const char* script;
    const char* keys;
    const char* log;
    DirectoryLayout layout;
};

constexpr DirectoryLayout kStockLayout{"dc=example,dc=com", "ou=People,dc=example,dc=com",
                                       "ou=Groups,dc=example,dc=com", "description", "inetOrgPerson",
                                       "departmentNumber", "organizationalUnit", "ou"};
const KindFacts kKinds[] = {
    {"/refdir/refdir.sh", "QUORVEL_REFDIR_", "/slapd.log",
     {kOrg, kRecipients, kDistributionLists, "extension-attribute-15", "organizationalPerson", "department",
      "Container", "cn"}},
    {"/tests/servers/slapd.sh", "QUORVEL_DIRECTORY_", "/slapd.log", kStockLayout},
    {"/tests/servers/ds389.sh", "QUORVEL_DIRECTORY_", "/log/access", kStockLayout},
};
const KindFacts& facts(DirectoryKind kind) { return kKinds[static_cast<int>(kind)]; }

// Runs the kind's script; its output, or an exception with its message.
std::string runScript(DirectoryKind kind, std::vector<std::string> args) {
    args.insert(args.begin(), sourceDir() + facts(kind).script);
    auto r = runCommand(args);
    if (r.exitCode != 0) throw std::runtime_error(std::string(kindName(kind)) + " " + args[1] + " failed: " + r.err);
    return r.out;
}

}  // namespace

const char* kindName(DirectoryKind kind) {
    static const char* const names[] = {"Reference", "StockSlapd", "Ds389"};
    return names[static_cast<int>(kind)];
}

std::vector<DirectoryKind> allDirectoryKinds() {
    return {DirectoryKind::Reference, DirectoryKind::StockSlapd, DirectoryKind::Ds389};
}

DirectoryUnderTest::DirectoryUnderTest(DirectoryKind kind) : kind_(kind) {
    auto out = runScript(kind, {"start"});
    auto value = [&](const char* key) { return settingOf(out, facts(kind).keys + std::string(key)); };
    dir_ = value("DIR");
    server_ = value("SERVER");
    url_ = value("URL");
    adminDn_ = value("ADMIN_DN");
    adminPassword_ = value("ADMIN_PASSWORD");
}

DirectoryUnderTest::~DirectoryUnderTest() { runCommand({sourceDir() + facts(kind_).script, "stop", dir_}); }

DirectoryUnderTest& DirectoryUnderTest::shared(DirectoryKind kind) {
    static std::map<DirectoryKind, std::unique_ptr<DirectoryUnderTest>> instances;
    auto& instance = instances[kind];
    if (!instance) instance = std::make_unique<DirectoryUnderTest>(kind);
    return *instance;
}

const DirectoryLayout& DirectoryUnderTest::layout() const { return facts(kind_).layout; }

std::string DirectoryUnderTest::logTail(int lines) const {
    return runCommand({"tail", "-n", std::to_string(lines), dir_ + facts(kind_).log}).out;
}

std::string DirectoryUnderTest::definition(const std::string& base, const std::string& filter,
                                           const std::string& scope) const {
    return prefix() + "<" + adsPath(base) + ">;" + filter + ";cn,ADsPath,distinguishedName;" + scope;
}

std::string DirectoryUnderTest::addContainer(const std::string& parent, const std::string& name) const {
    const auto& o = layout();
    std::string rdn = std::string(o.containerRdn) + "=" + name;
    tool().add("dn: " + rdn + "," + parent + "\nobjectClass: " + o.containerClass + "\n" + o.containerRdn + ": " +
               name + "\n");
    return rdn + "," + parent;
}

std::string DirectoryUnderTest::addDl(const std::string& container, const std::string& alias,
                                      const std::string& definition, const std::vector<std::string>& members) const {
    std::string dn = "cn=" + alias + "," + container;
    std::string ldif = "dn: " + dn + "\nobjectClass: groupOfNames\ncn: " + alias + "\n";
    if (kind_ == DirectoryKind::Reference) ldif += "uid: " + alias + "\nObj-View-Containers: " + container + "\n";
    if (!definition.empty()) ldif += layout().definitionField + (": " + definition) + "\n";
    for (const auto& member : members) ldif += "member: " + member + "\n";
    tool().add(ldif);
    return dn;
}

Logon DirectoryUnderTest::logon(Role role) const {
    if (!has(role)) throw std::logic_error(std::string(kindName(kind_)) + " has no such account");
    if (kind_ == DirectoryKind::Reference) {
        Account a = role == Role::Reader ? kReader : role == Role::Limited ? kLimited : kWriter;
        return {a.user, kDomain, a.password, a.dn()};
    }
    if (role == Role::Admin) return {adminDn_, "", adminPassword_, adminDn_};
    static const char* const uids[] = {"", "quorvel", "reader", "limited", "blind"};
    std::string uid = uids[static_cast<int>(role)], dn = "uid=" + uid + ",ou=System,dc=example,dc=com";
    return {dn, "", uid + "-pw", dn};
}

std::string DirectoryUnderTest::authentication(Role role) const {
    auto l = logon(role);
    return "[Authentication]\nUser=" + l.user + "\n" + (l.domain.empty() ? "" : "Domain=" + l.domain + "\n") +
           "Password=" + l.password + "\n";
}

LdapTool DirectoryUnderTest::tool(Role role) const {
    auto l = logon(role);
    return LdapTool(url_, l.bindDn, l.password);
}

void DirectoryTest::TearDown() {
    if (HasFailure())
        std::cerr << "---- " << kindName(GetParam()) << " log (last lines) ----\n" << directory().logTail() << "----\n";
}

}  // namespace qv::test
