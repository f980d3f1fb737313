// LDAP over TLS (LDAPS://): the reference directory listens with a
// certificate from a certificate authority made for this run. With that
// authority trusted through libldap's usual configuration the program
// connects, keeps the scheme in every address it builds and runs a whole
// pass; with another authority the connection fails with a clear error.
// libldap reads its configuration once per process, so this binary sets it
// up before its first directory call.
#include <gtest/gtest.h>

#include <stdexcept>

#include "../directory/DirectorySupport.h"
#include "QuorvelRun.h"

using namespace qv;
using namespace qv::test;

namespace {

const std::string kLists = std::string("cn=TLS Lists,") + kSite;
const char* kFinance = "(&(objectClass=organizationalPerson)(department=Finance))";

void openssl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "openssl");
    if (auto r = runCommand(arguments); r.exitCode != 0) throw std::runtime_error("openssl failed: " + r.err);
}

// A server certificate for 127.0.0.1 signed by `authority`.
void makeServerCertificate(const TempDir& folder, const std::string& authority) {
    writeFile(folder.file("server.ext"), "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                                         "extendedKeyUsage=serverAuth\n");
    openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", folder.file("server.key"),
             "-out", folder.file("server.csr")});
    openssl({"x509", "-req", "-in", folder.file("server.csr"), "-CA", folder.file(authority + ".pem"), "-CAkey",
             folder.file(authority + ".key"), "-CAcreateserial", "-days", "2", "-extfile", folder.file("server.ext"),
             "-out", folder.file("server.pem")});
}

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certificates = std::make_unique<TempDir>();
        for (const std::string name : {"trusted-ca", "other-ca"})  // two certificate authorities
            openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quorvel test " + name,
                     "-keyout", certificates->file(name + ".key"), "-out", certificates->file(name + ".pem")});
        makeServerCertificate(*certificates, "trusted-ca");
        dir = std::make_unique<ReferenceDirectory>(
            RefDirOptions{.globalConf = "TLSCACertificateFile " + certificates->file("trusted-ca.pem") +
                                        "\nTLSCertificateFile " + certificates->file("server.pem") +
                                        "\nTLSCertificateKeyFile " + certificates->file("server.key") + "\n",
                          .ldaps = true});
        // libldap's usual configuration: ldap.conf names the trusted authority.
        writeFile(certificates->file("ldap.conf"), "TLS_CACERT " + certificates->file("trusted-ca.pem") +
                                                       "\nTLS_REQCERT demand\n");
        const std::pair<const char*, std::optional<std::string>> settings[] = {
            {"LDAPNOINIT", std::nullopt}, {"LDAPCONF", certificates->file("ldap.conf")}, {"LDAPRC", std::nullopt},
            {"HOME", certificates->path()}, {"LDAPTLS_CACERT", std::nullopt}};
        for (const auto& [name, value] : settings) environment.emplace_back(std::make_unique<ScopedEnv>(name, value));
        LdapTool(*dir).add("dn: " + kLists + "\nobjectClass: Container\ncn: TLS Lists\n");
    }
    static void TearDownTestSuite() {
        environment.clear();
        dir.reset();
        certificates.reset();
    }

    std::string ldapsPath(const std::string& dn) const { return "LDAPS://" + dir->ldapsServer() + "/" + dn; }

    // A Quorvel DL whose own query runs over TLS as well.
    std::string addDl(const std::string& alias) const {
        const std::string dn = "cn=" + alias + "," + kLists;
        LdapTool(*dir).add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: " + alias + "\nmember: cn=avries," +
                           kRecipients + "\nextension-attribute-15: QVL=<" + ldapsPath(kSite) + ">;" + kFinance +
                           ";cn,ADsPath,distinguishedName;subtree\n");
        return dn;
    }
    std::set<std::string> finance() const { return LdapTool(*dir).dns(kSite, kFinance); }

    QuorvelRun quorvel(const std::string& target, const std::string& authority, const TempDir& temp,
                       const std::string& operationTimeout = "5") const {
        return runQuorvel(temp, target,
                          {{"LDAPTLS_CACERT", certificates->file(authority + ".pem")},
                           {"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"},
                           {"QUORVEL_LDAP_TIMEOUT", operationTimeout}},
                          "");
    }

    static std::unique_ptr<TempDir> certificates;
    static std::unique_ptr<ReferenceDirectory> dir;
    static std::vector<std::unique_ptr<ScopedEnv>> environment;
};

std::unique_ptr<TempDir> Tls::certificates;
std::unique_ptr<ReferenceDirectory> Tls::dir;
std::vector<std::unique_ptr<ScopedEnv>> Tls::environment;

}  // namespace

TEST_F(Tls, TheStoreStaysOnTlsAcrossServerRestarts) {
    auto store = clsExchangeStore::create();
    ASSERT_TRUE(store->Connect(logon(kWriter), "ldaps://" + dir->ldapsServer() + "/" + kLists))
        << store->lastError().Description;
    EXPECT_EQ(store->StoreName(), dir->ldapsServer());
    EXPECT_EQ(store->Path(), "LDAPS://" + dir->ldapsServer());
    EXPECT_EQ(store->Organization(), "o=Northwind Traders");

    // Every address built from Path, and every one a search hands back, keeps the scheme.
    addDl("over-tls");
    std::string search = "<" + store->Path() + "/" + kLists + ">;(objectClass=groupOfNames);;onelevel";
    auto found = store->Query(search);
    ASSERT_TRUE(found) << found.error()->description();
    ASSERT_GE(found.objects().Count(), 1);
    for (const auto& object : found.objects()) EXPECT_EQ(object->adsPath.rfind("LDAPS://", 0), 0u) << object->adsPath;

    // A server restarted between two operations costs a new connection, not the process.
    for (int round = 0; round < 3; ++round) {
        // The pooled TLS connection is dead; writing to it must not raise SIGPIPE.
        dir->stop();
        dir->resume();
        auto again = store->Query(search);
        ASSERT_TRUE(again) << again.error()->description();
    }
}

// A whole pass with the authority trusted; with another one, a clear
// connection error that writes nothing, as for a server without TLS or one
// that never answers the handshake.
TEST_F(Tls, APassOverLdapsNeedsTheTrustedAuthority) {
    const std::string first = addDl("pass-one"), second = addDl("pass-two");
    const auto before = LdapTool(*dir).members(first);
    TempDir temp;
    auto r = quorvel(ldapsPath(kLists), "other-ca", temp);
    EXPECT_EQ(r.command.exitCode, 1);
    EXPECT_NE(r.command.err.find("[80090325]: The server's TLS certificate cannot be verified"), std::string::npos)
        << r.command.err;
    EXPECT_NE(r.command.err.find("LDAPTLS_CACERT"), std::string::npos) << r.command.err;
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].message, "Could not find object specified [" + ldapsPath(kLists) + "]");
    EXPECT_EQ(LdapTool(*dir).members(first), before);

    r = quorvel(ldapsPath(kLists), "trusted-ca", temp);
    EXPECT_EQ(r.command.exitCode, 0) << r.command.err << r.events;
    EXPECT_EQ(LdapTool(*dir).members(first), finance());
    EXPECT_EQ(LdapTool(*dir).members(second), finance());

    // Plain LDAP on the TLS port: no TLS comes up at all, so the server is not there for LDAPS.
    r = quorvel("LDAPS://" + dir->server() + "/" + kLists, "trusted-ca", temp);
    EXPECT_EQ(r.command.exitCode, 1);
    EXPECT_NE(r.command.err.find("[8007203A]"), std::string::npos) << r.command.err;

    // A frozen server accepts the connection and never answers the handshake: the run still ends by itself.
    dir->freeze();
    r = quorvel(ldapsPath(kLists), "trusted-ca", temp, "1");
    dir->thaw();
    EXPECT_EQ(r.command.exitCode, 1) << r.command.err;
    EXPECT_NE(r.command.err.find("[8007203A]: Timed out: the connection was not open within"), std::string::npos)
        << r.command.err;
}

// The scheme in a search command's base; the default port of LDAPS and the rest of address
// parsing are the address tests'.
TEST(LdapsAddresses, ServerNamesAndPathsKeepTheScheme) {
    EXPECT_EQ(clsExchangeStore::GetServerName("<ldaps://srv01>;(cn=*);cn,ADsPath;subtree"), "SRV01");
    EXPECT_EQ(clsExchangeStore::PathPrefix("<LdapS://srv01/o=Org>;x;y;z"), "LDAPS://");
}
