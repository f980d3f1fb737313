#pragma once
// The project's reference directory (refdir/refdir.sh) as a test fixture:
// a private slapd on a free loopback port, seeded, stopped on destruction.
#include <string>
#include <vector>

namespace qv::test {

// Names of the seed organisation.
inline constexpr const char* kOrg = "o=Northwind Traders";
inline constexpr const char* kSite = "ou=Amsterdam,o=Northwind Traders";
inline constexpr const char* kRecipients = "cn=Recipients,ou=Amsterdam,o=Northwind Traders";
inline constexpr const char* kDistributionLists = "cn=Distribution Lists,ou=Amsterdam,o=Northwind Traders";
inline constexpr const char* kCustomRecipients = "cn=Custom Recipients,ou=Amsterdam,o=Northwind Traders";

// Logon accounts of the reference directory (domain CORP).
struct Account {
    const char* user;
    const char* password;
    std::string dn(bool admin = false) const {
        return std::string("dc=CORP,cn=") + user + (admin ? ",cn=admin" : "");
    }
};
inline constexpr Account kWriter{"writer", "writer-pw"};    // may change the organisation
inline constexpr Account kReader{"reader", "reader-pw"};    // may only read
inline constexpr Account kLimited{"limited", "limited-pw"}; // reads at most 10 entries
inline constexpr const char* kDomain = "CORP";

struct RefDirOptions {
    std::string seedFile;    // default: refdir/seed.ldif.in
    std::string dbConf;      // lines for the organisation's database section
    std::string globalConf;  // lines for the global section
    bool ldaps = false;      // also listen with TLS
    bool sync = false;       // serve content synchronisation (refdir.sh --sync: syncprov with a session log)
    std::vector<std::string> arguments;  // further options of refdir.sh start (replication)
};

class ReferenceDirectory {
public:
    explicit ReferenceDirectory(RefDirOptions options = {});
    ~ReferenceDirectory();
    ReferenceDirectory(const ReferenceDirectory&) = delete;
    ReferenceDirectory& operator=(const ReferenceDirectory&) = delete;

    const std::string& server() const { return server_; }  // "127.0.0.1:PORT"
    const std::string& url() const { return url_; }        // "ldap://127.0.0.1:PORT"
    const std::string& ldapsServer() const { return ldapsServer_; }
    const std::string& dir() const { return dir_; }
    bool running() const;

    // "LDAP://" + server + "/" + dn
    std::string adsPath(const std::string& dn) const;
    // The last lines of slapd's log (stats level: one line per operation).
    std::string logTail(int lines = 40) const;

    void stop();     // orderly stop; the data folder stays until destruction
    void kill();     // SIGKILL, as a crashed server
    void freeze();   // SIGSTOP: accepts connections, never answers
    void thaw();     // SIGCONT
    void resume();   // after stop() or kill(): the same instance again, on its data and port
    static std::string freePort();  // a loopback port nobody listens on

private:
    void start();
    RefDirOptions options_;
    std::string optionsDir_;
    std::string dir_, server_, url_, ldapsServer_;
    int pid_ = -1;
};

// The instance shared by all tests of a binary linked with the refdir main.
ReferenceDirectory& sharedDirectory();

}  // namespace qv::test
