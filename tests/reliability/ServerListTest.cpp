// Several servers for one target. An address that names a list passes over a
// server that refuses, drops, does not answer the connect or never answers.
// Two providers that replicate each other (multi-provider, delta-syncrepl
// over the accesslog) behind "LDAP://p1,p2/...": when the first stops just
// before or just after a DL's write, that DL is an error entry, the pass goes
// on at the second, both hold every DL wholly old or wholly new once they
// have converged, and the next run (at the second) finishes the job.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "../directory/DirectorySupport.h"
#include "QuorvelRun.h"
#include "platform/DirectoryService.h"
#include "support/FaultProxy.h"

using namespace qv::test;

namespace {

const std::string kLists = std::string("cn=Pair Lists,") + kSite;
const char* kFilters[] = {"(department=Sales)", "(title=*Engineer)", "(l=Utrecht)"};  // the DLs pair0 to pair2
std::string dlDn(int i) { return "cn=pair" + std::to_string(i) + "," + kLists; }

class ServerList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto provider = [](std::vector<std::string> arguments) {
            RefDirOptions options;
            options.arguments = std::move(arguments);
            return std::make_unique<ReferenceDirectory>(options);
        };
        const std::string port2 = ReferenceDirectory::freePort();
        p1 = provider({"--provider", "--server-id", "1", "--replica-of", "ldap://127.0.0.1:" + port2});
        p2 = provider({"--port", port2, "--provider", "--server-id", "2", "--replica-of", p1->url(), "--seed-from",
                       p1->dir()});
        proxy = std::make_unique<FaultProxy>(p1->server());
        std::string ldif = "dn: " + kLists + "\nobjectClass: Container\ncn: Pair Lists\n\n";
        for (int i = 0; i < 3; ++i)
            ldif += "dn: " + dlDn(i) + "\nobjectClass: groupOfNames\ncn: pair" + std::to_string(i) +
                    "\nextension-attribute-15: QVL=<LDAP://" + servers() + "/" + kSite + ">;" + kFilters[i] +
                    ";cn,ADsPath;subtree\n\n";
        LdapTool(*p1).add(ldif);
    }
    static void TearDownTestSuite() { proxy.reset(), p1.reset(), p2.reset(); }

    // Every DL without members on both providers, the first running behind a plain proxy.
    void SetUp() override {
        proxy->reset();
        if (!p1->running()) p1->resume();
        for (int i = 0; i < 3; ++i) LdapTool(*p1).replace(dlDn(i), "member", {});
        ASSERT_EQ(converged(), "old old old ");
    }

    static std::string servers() { return proxy->server() + "," + p2->server(); }
    // The DLs' memberships once both providers hold the same ones.
    static std::string converged() {
        auto state = [](const ReferenceDirectory& dir, int i) {
            auto now = LdapTool(dir).members(dlDn(i));
            return now.empty() ? "old " : now == LdapTool(dir).dns(kSite, kFilters[i]) ? "new " : "PARTIAL ";
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
        auto r = runQuorvel(temp, "LDAP://" + servers() + "/" + kLists,
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

    static std::unique_ptr<ReferenceDirectory> p1, p2;
    static std::unique_ptr<FaultProxy> proxy;
};

std::unique_ptr<ReferenceDirectory> ServerList::p1, ServerList::p2;
std::unique_ptr<FaultProxy> ServerList::proxy;

}  // namespace

TEST_F(ServerList, EveryWayAServerFailsPassesItOver) {
    ScopedEnv network("QUORVEL_LDAP_NETWORK_TIMEOUT", "1"), operation("QUORVEL_LDAP_TIMEOUT", "2");
    // A host whose queue takes one connection that it never answers; the next connect is not answered at all.
    int host = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    auto* at = reinterpret_cast<sockaddr*>(&address);
    ASSERT_EQ(::bind(host, at, size) + ::listen(host, 0) + ::getsockname(host, at, &size), 0);
    const std::string silent = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    for (const Account& account : {kWriter, kReader}) {  // each its own connection: silent, then unanswered
        auto store = qv::clsExchangeStore::create();
        EXPECT_TRUE(store->Connect(logon(account), "LDAP://" + silent + "," + p2->server()));
        EXPECT_EQ(store->AnsweringServer(store->Path()), p2->url());
    }
    ::close(host);
    // One that answered and stopped since (refusing now) is passed over by the next unit of work.
    auto store = qv::clsExchangeStore::create();
    ASSERT_TRUE(store->Connect(logon(kWriter), "LDAP://" + p1->server() + "," + p2->server()));
    p1->stop();
    const qv::platform::SameServer oneServer;
    std::string dl = store->Path() + "/" + dlDn(1);
    EXPECT_TRUE(store->Query(dl)) << store->lastError().Description;
    EXPECT_EQ(store->AnsweringServer(store->Path()), p2->url());
}

// The proxy in front of the first provider drops every connection once it has stopped.
TEST_F(ServerList, APassGoesOnAtTheSecondProviderWhenTheFirstStops) {
    const std::string first = "ldap://" + proxy->server() + " ", second = p2->url() + " ";
    const std::string error = "[p_UpdateDLWithQuery:PutEX\r\nExchange server not found or not operational\r\nLDAP://" +
                              servers() + "/" + dlDn(1) + "] ";
    const std::pair<Fault, const char*> stops[] = {
        {Fault::on(LdapOp::Modify, dlDn(1)).cutBefore().withHook([] { p1->stop(); }), "new old new "},
        // The write is applied; the provider stops before its answer (and perhaps its replication) leaves.
        {Fault::on(LdapOp::Modify, dlDn(1)).cutAfter(0).withHook([] {
             proxy->onNextConnection([] { p1->stop(); });
         }),
         "new new new "},
    };
    for (const auto& [stop, states] : stops) {
        SetUp();
        proxy->arm(stop);
        EXPECT_EQ(run(1), first + first + error + second);
        p1->resume();
        EXPECT_EQ(converged(), states);
        p1->stop();  // the next run goes to the second provider and finishes the job
        EXPECT_EQ(run(0), second + second + second);
        p1->resume();
        EXPECT_EQ(converged(), "new new new ");
    }
}
