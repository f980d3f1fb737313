// Several servers for one target: "LDAP://silent,p1,p2/...", where the first
// host takes one connection and never answers it (nor any connect after),
// and p1 and p2 are providers that replicate each other (multi-provider,
// delta-syncrepl over the accesslog), p1 behind a proxy that drops every
// connection once p1 has stopped. When p1 stops just before, or just after,
// a DL's write, that DL is an error entry; stopped before a DL, that DL goes
// to p2 unharmed. The pass goes on at p2, both hold every DL wholly old or
// wholly new once they have converged, and the next run finishes the job.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>

#include "QuorvelRun.h"
#include "support/FaultProxy.h"
#include "support/LdapTool.h"

using namespace qv::test;

namespace {

const std::string kLists = std::string("cn=Pair Lists,") + kSite;
const char* kFilters[] = {"(department=Sales)", "(title=*Engineer)", "(l=Utrecht)"};  // of pair0 to pair2
std::string dlDn(int i) { return "cn=pair" + std::to_string(i) + "," + kLists; }

class ServerList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        silent = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        auto* at = reinterpret_cast<sockaddr*>(&address);
        ASSERT_EQ(::bind(silent, at, size) + ::listen(silent, 0) + ::getsockname(silent, at, &size), 0);
        const std::string port2 = ReferenceDirectory::freePort();
        p1 = provider({"--server-id", "1", "--replica-of", "ldap://127.0.0.1:" + port2});
        p2 = provider({"--server-id", "2", "--replica-of", p1->url(), "--port", port2, "--seed-from", p1->dir()});
        proxy = std::make_unique<FaultProxy>(p1->server());
        servers = "127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "," + proxy->server() + "," + p2->server();
        std::string ldif = "dn: " + kLists + "\nobjectClass: Container\ncn: Pair Lists\n\n";
        for (int i = 0; i < 3; ++i)
            ldif += "dn: " + dlDn(i) + "\nobjectClass: groupOfNames\ncn: pair" + std::to_string(i) +
                    "\nextension-attribute-15: QVL=<LDAP://" + servers + "/" + kSite + ">;" + kFilters[i] +
                    ";cn,ADsPath;subtree\n\n";
        LdapTool(*p1).add(ldif);
    }
    static void TearDownTestSuite() { proxy.reset(), p1.reset(), p2.reset(), ::close(silent); }
    static std::unique_ptr<ReferenceDirectory> provider(std::vector<std::string> arguments) {
        arguments.push_back("--provider");
        return std::make_unique<ReferenceDirectory>(RefDirOptions{.arguments = std::move(arguments)});
    }

    // Every DL old on both providers, p1 running behind a plain proxy.
    void SetUp() override {
        proxy->reset();
        if (!p1->running()) p1->resume();
        for (int i = 0; i < 3; ++i) {
            auto old = members(*p1, i, false);
            LdapTool(*p1).replace(dlDn(i), "member", {old.begin(), old.end()});
        }
        ASSERT_EQ(converged(), "old old old ");
    }
    // DL i new (the people its query finds) or old (one of them swapped for a stranger): a pass
    // writes the change, which the other provider replays as it stands.
    static std::set<std::string> members(const ReferenceDirectory& dir, int i, bool now) {
        auto people = LdapTool(dir).dns(kSite, kFilters[i]);
        if (!now) people.erase(people.begin()), people.insert("cn=stranger," + kLists);
        return people;
    }
    // The DLs' memberships once both providers hold the same ones.
    static std::string converged() {
        auto state = [](const ReferenceDirectory& dir, int i) {
            auto now = LdapTool(dir).members(dlDn(i));
            return now == members(dir, i, false) ? "old " : now == members(dir, i, true) ? "new " : "PARTIAL ";
        };
        for (int n = 0; n < 300; ++n, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            std::string one, two;
            for (int i = 0; i < 3; ++i) one += state(*p1, i), two += state(*p2, i);
            if (one == two) return one;
        }
        return "not converged in 30 s";
    }
    // A pass at level 2: the server each DL was read from and the error entries, in order.
    static std::string run(int exitCode) {
        TempDir temp;
        auto r = runQuorvel(temp, "LDAP://" + servers + "/" + kLists,
                            {{"LDAPNOINIT", "1"}, {"QUORVEL_LDAP_NETWORK_TIMEOUT", "1"}, {"QUORVEL_LDAP_TIMEOUT", "3"}},
                            "LoggingLevel=2\n");
        EXPECT_EQ(r.command.exitCode, exitCode) << r.command.err;
        std::string seen;
        for (const auto& e : r.entries) {
            if (e.message.rfind("Getting membership.", 0) == 0) seen += e.message.substr(e.message.rfind(' ') + 1) + " ";
            if (e.type == 1) seen += "[" + e.message + "] ";
        }
        return seen;
    }

    static inline int silent = -1;
    static inline std::string servers;
    static inline std::unique_ptr<ReferenceDirectory> p1, p2;
    static inline std::unique_ptr<FaultProxy> proxy;
};

}  // namespace

TEST_F(ServerList, APassGoesOnAtTheNextServerWhenOneFails) {
    const std::string first = "ldap://" + proxy->server() + " ", second = p2->url() + " ";
    const std::string error = "[p_UpdateDLWithQuery:PutEX\r\nExchange server not found or not operational\r\nLDAP://" +
                              servers + "/" + dlDn(1) + "] ";
    const struct {
        Fault stop;
        int exitCode;
        std::string servers, states;
    } scenarios[] = {
        {Fault::on(LdapOp::Modify, dlDn(1)).cutBefore().withHook([] { p1->stop(); }), 1, first + first + error + second,
         "new old new "},
        // Applied, and p1 stops before its answer (and perhaps its replication) leaves.
        {Fault::on(LdapOp::Modify, dlDn(1)).cutAfter(0).withHook([] { proxy->onNextConnection([] { p1->stop(); }); }),
         1, first + first + error + second, "new new new "},
        // Stopped between two DLs: nothing of the next DL was read from p1.
        {Fault::on(LdapOp::Search, dlDn(2)).cutBefore().withHook([] { p1->stop(); }), 0, first + first + second,
         "new new new "},
    };
    for (const auto& s : scenarios) {
        SetUp();
        proxy->arm(s.stop);
        EXPECT_EQ(run(s.exitCode), s.servers);
        p1->resume();
        EXPECT_EQ(converged(), s.states);
        p1->stop();  // the next run goes to p2 and finishes the job
        EXPECT_EQ(run(0), second + second + second);
        p1->resume();
        EXPECT_EQ(converged(), "new new new ");
    }
    for (const auto* dir : {p1.get(), p2.get()})  // no change failed to replay
        EXPECT_EQ(readFile(dir->dir() + "/slapd.log").find("syncrepl_null_callback : error"), std::string::npos);
}
