#pragma once
// A loopback TCP proxy between the program and the reference directory that
// injects network faults: refused connections, connections cut or silenced
// at a chosen LDAP request, and slow links. It reads the LDAP messages the
// client sends (BER framing, RFC 4511) so that a fault can fire at exactly
// "the second search below ou=Bulk" or "the modify of this DL". The server's
// answers pass through as bytes, so "cut after N bytes" counts the bytes of
// the answer to the chosen request (LdapOp::Any with occurrence 1: from the
// first request on). Plain LDAP only: it cuts a connection that sends anything else.
//
// The proxy runs on a thread of its own; hooks run on that thread while it
// forwards nothing.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

// A request by the tag of its protocol operation (RFC 4511).
enum class LdapOp : unsigned char {
    Any = 0,
    Search = 0x63,
    Modify = 0x66,
    Add = 0x68,
    Delete = 0x4a,
};

enum class FaultAction {
    Pass,       // the request goes on (a fault that only runs its hook)
    CutBefore,  // the request never reaches the server; the connection is cut
    CutAfter,   // the request reaches the server; of its answer `replyBytes` bytes reach the client, then the cut
    Stall,      // the request and everything after it is held: the connection goes silent both ways
    Answer,     // the request never reaches the server; the proxy answers it with `resultCode`
};

struct Fault {
    LdapOp op = LdapOp::Any;
    std::string contains;   // bytes the request must hold, such as a DN ("" = any)
    int occurrence = 1;     // the n-th matching request fires the fault (counted over all connections)
    FaultAction action = FaultAction::CutBefore;
    std::size_t replyBytes = 0;  // CutAfter
    int resultCode = 0;          // Answer
    int refuseAfter = 0;         // connections refused once the fault fired
    std::function<void()> hook;  // runs when the fault fires, before its action

    // Fault::on(LdapOp::Modify, dn).cutAfter(0).thenRefuse(1) and the like.
    static Fault on(LdapOp op, std::string contains, int occurrence = 1) {
        Fault fault;
        fault.op = op;
        fault.contains = std::move(contains);
        fault.occurrence = occurrence;
        return fault;
    }
    Fault& pass() { return act(FaultAction::Pass); }
    Fault& cutBefore() { return act(FaultAction::CutBefore); }
    Fault& cutAfter(std::size_t bytes) {
        replyBytes = bytes;
        return act(FaultAction::CutAfter);
    }
    Fault& stall() { return act(FaultAction::Stall); }
    Fault& answer(int code) {
        resultCode = code;
        return act(FaultAction::Answer);
    }
    Fault& thenRefuse(int connections) {
        refuseAfter = connections;
        return *this;
    }
    Fault& withHook(std::function<void()> function) {
        hook = std::move(function);
        return *this;
    }

private:
    Fault& act(FaultAction a) {
        action = a;
        return *this;
    }
};

class FaultProxy {
public:
    // Listens on a free loopback port; forwards to `upstream` ("host:port").
    explicit FaultProxy(std::string upstream);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    std::string server() const;  // "127.0.0.1:PORT", as an ADsPath names it

    // Arms a fault; it fires once.
    void arm(Fault fault);
    // Faults that have fired since the start or the last reset().
    int fired() const { return fired_; }
    // Every round of writes to either side waits `delay` and sends at most `chunk` bytes.
    void slow(std::chrono::milliseconds delay, std::size_t chunk);
    // Runs `hook` once, when the next connection arrives (before the proxy connects upstream).
    void onNextConnection(std::function<void()> hook);
    // Back to a plain proxy: no armed faults, refusals, slowness or hooks; fired() is 0.
    void reset();

private:
    struct Link;
    void run();
    void wake();
    void acceptOne();
    bool readClient(Link& link);
    bool readServer(Link& link);
    bool writable(const Link& link, bool toServer) const;
    bool flush(Link& link, bool toServer);
    void handleRequest(Link& link, std::string message);

    int listenFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> fired_{0};
    const std::string upstream_;
    mutable std::mutex mutex_;  // guards the settings below
    std::vector<std::pair<Fault, int>> faults_;  // with the number of matches seen
    int refuse_ = 0;
    std::chrono::milliseconds delay_{0};
    std::size_t chunk_ = 0;
    std::function<void()> acceptHook_;
    std::vector<std::unique_ptr<Link>> links_;  // proxy thread only
    std::thread thread_;
};

}  // namespace qv::test
