#include "support/FaultProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <utility>

namespace qv::test {
namespace {

constexpr std::size_t kNotBer = static_cast<std::size_t>(-1);

// The size of the complete BER element at the front of `data`: 0 while it is
// incomplete, kNotBer when the bytes cannot be one.
std::size_t berElementSize(std::string_view data) {
    if (data.size() < 2) return 0;
    std::size_t pos = 1;
    const auto first = static_cast<unsigned char>(data[pos++]);
    std::size_t length = first;
    if (first >= 0x80) {
        const std::size_t digits = first & 0x7f;
        if (digits == 0 || digits > 4) return kNotBer;
        if (data.size() < pos + digits) return 0;
        length = 0;
        for (std::size_t i = 0; i < digits; ++i) length = (length << 8) | static_cast<unsigned char>(data[pos++]);
    }
    return data.size() < pos + length ? 0 : pos + length;
}

// The protocol operation tag of one LDAP message: after the SEQUENCE header
// and the message ID.
unsigned char operationOf(std::string_view message) {
    std::size_t header = 2;
    if (static_cast<unsigned char>(message[1]) >= 0x80) header += message[1] & 0x7f;
    std::string_view content = message.substr(std::min(header, message.size()));
    const std::size_t id = berElementSize(content);
    if (id == 0 || id == kNotBer || id >= content.size()) return 0;
    return static_cast<unsigned char>(content[id]);
}

// The server's answer to a modify, add or delete request with `code` as its
// result: the request's message ID, the response's tag, no DN, no text.
std::string answerTo(std::string_view message, int code) {
    const std::size_t header = 2 + (static_cast<unsigned char>(message[1]) >= 0x80 ? message[1] & 0x7f : 0);
    const std::string_view content = message.substr(header);
    const std::size_t id = berElementSize(content);
    const auto op = static_cast<unsigned char>(content[id]);
    const std::string result = {'\x0a', '\x01', char(code), '\x04', '\x00', '\x04', '\x00'};
    std::string body(content.substr(0, id));
    body += char(op == 0x4a ? 0x6b : op + 1);
    body += char(result.size()) + result;
    return std::string(1, '\x30') + char(body.size()) + body;
}

void resetAndClose(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connection to "host:port" (IPv4), non-blocking once open; -1 when refused.
int connectTo(const std::string& upstream) {
    const auto colon = upstream.rfind(':');
    if (colon == std::string::npos) return -1;
    sockaddr_in address = loopbackAddress(std::stoi(upstream.substr(colon + 1)));
    if (::inet_pton(AF_INET, upstream.substr(0, colon).c_str(), &address.sin_addr) != 1) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

}  // namespace

struct FaultProxy::Link {
    int client = -1;
    int server = -1;
    std::string fromClient;  // bytes of a request not complete yet
    std::string toServer;
    std::string toClient;
    bool stalled = false;
    bool cutArmed = false;
    std::size_t replyAllowance = 0;
    bool closing = false;    // the server side is done: end once toClient is written
    bool dead = false;

    ~Link() {
        if (client >= 0) ::close(client);
        if (server >= 0) ::close(server);
    }
};

FaultProxy::FaultProxy(std::string upstream) : upstream_(std::move(upstream)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = loopbackAddress(0);
    socklen_t size = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("the fault proxy cannot listen");
    port_ = ntohs(address.sin_port);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

FaultProxy::~FaultProxy() {
    stop_ = true;
    wake();
    thread_.join();
    links_.clear();
    ::close(listenFd_);
    ::close(wakeFd_);
}

std::string FaultProxy::server() const { return "127.0.0.1:" + std::to_string(port_); }

void FaultProxy::arm(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.emplace_back(std::move(fault), 0);
}

void FaultProxy::slow(std::chrono::milliseconds delay, std::size_t chunk) {
    {
        std::lock_guard lock(mutex_);
        delay_ = delay;
        chunk_ = chunk;
    }
    wake();
}

void FaultProxy::onNextConnection(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    acceptHook_ = std::move(hook);
}

void FaultProxy::reset() {
    {
        std::lock_guard lock(mutex_);
        faults_.clear();
        refuse_ = 0;
        delay_ = std::chrono::milliseconds(0);
        chunk_ = 0;
        acceptHook_ = nullptr;
    }
    fired_ = 0;
    wake();
}

void FaultProxy::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wakeFd_, &one, sizeof one);
}

void FaultProxy::run() {
    while (!stop_) {
        std::chrono::milliseconds delay;
        {
            std::lock_guard lock(mutex_);
            delay = delay_;
        }
        if (delay.count() > 0) std::this_thread::sleep_for(delay);  // slow mode: a chunk each way per delay
        std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const auto& link : links_) {
            fds.push_back({link->client, short(POLLIN | (writable(*link, false) ? POLLOUT : 0)), 0});
            fds.push_back({link->server, short((link->closing ? 0 : POLLIN) | (writable(*link, true) ? POLLOUT : 0)), 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] auto ignored = ::read(wakeFd_, &count, sizeof count);
        }
        const std::size_t known = links_.size();
        if (fds[1].revents & POLLIN) acceptOne();
        for (std::size_t i = 0; i < known; ++i) {
            Link& link = *links_[i];
            const short fromClient = fds[2 + 2 * i].revents, fromServer = fds[3 + 2 * i].revents;
            if (!link.dead && (fromClient & (POLLIN | POLLHUP | POLLERR)) && !readClient(link)) link.dead = true;
            if (!link.dead && (fromServer & (POLLIN | POLLHUP | POLLERR)) && !readServer(link)) link.dead = true;
            if (!link.dead && !flush(link, true)) link.dead = true;
            if (!link.dead && !flush(link, false)) link.dead = true;
            if (link.closing && link.toClient.empty()) link.dead = true;
        }
        std::erase_if(links_, [](const auto& link) { return link->dead; });
    }
}

void FaultProxy::acceptOne() {
    int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return;
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        if (refuse_ != 0) {
            if (refuse_ > 0) --refuse_;
            resetAndClose(client);
            return;
        }
        hook = std::exchange(acceptHook_, nullptr);
    }
    if (hook) hook();
    int server = connectTo(upstream_);
    if (server < 0) {
        resetAndClose(client);
        return;
    }
    auto link = std::make_unique<Link>();
    link->client = client;
    link->server = server;
    links_.push_back(std::move(link));
}

bool FaultProxy::readClient(Link& link) {
    char buffer[65536];
    const ssize_t n = ::read(link.client, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) return false;
    if (link.stalled) return true;
    link.fromClient.append(buffer, std::size_t(n));
    while (!link.dead && !link.stalled) {
        const std::size_t size = berElementSize(link.fromClient);
        if (size == 0) break;
        if (size == kNotBer || link.fromClient[0] != 0x30) return false;  // not LDAP: the connection is cut
        std::string message = link.fromClient.substr(0, size);
        link.fromClient.erase(0, size);
        handleRequest(link, std::move(message));
    }
    return !link.dead;
}

void FaultProxy::handleRequest(Link& link, std::string message) {
    std::optional<Fault> fault;
    {
        std::lock_guard lock(mutex_);
        const unsigned char op = operationOf(message);
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            auto& [candidate, seen] = *it;
            const bool matches = (candidate.op == LdapOp::Any || static_cast<unsigned char>(candidate.op) == op) &&
                                 message.find(candidate.contains) != std::string::npos;
            if (!matches || ++seen < candidate.occurrence) continue;
            fault = std::move(candidate);
            faults_.erase(it);
            break;
        }
    }
    if (!fault) {
        link.toServer += message;
        return;
    }
    if (fault->hook) fault->hook();
    {
        std::lock_guard lock(mutex_);
        if (fault->refuseAfter != 0) refuse_ = fault->refuseAfter;
    }
    ++fired_;
    switch (fault->action) {
        case FaultAction::Pass: link.toServer += message; break;
        case FaultAction::Answer: link.toClient += answerTo(message, fault->resultCode); break;
        case FaultAction::CutBefore: link.dead = true; break;
        case FaultAction::CutAfter:
            link.toServer += message;
            link.cutArmed = true;
            link.replyAllowance = fault->replyBytes;
            break;
        case FaultAction::Stall:
            link.stalled = true;
            link.toServer.clear();
            link.toClient.clear();
            link.fromClient.clear();
            break;
    }
}

bool FaultProxy::readServer(Link& link) {
    char buffer[65536];
    const ssize_t n = ::read(link.server, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) {
        link.closing = true;  // the server went away: the client gets what came before, then the end
        return true;
    }
    if (link.stalled) return true;
    std::size_t pass = std::size_t(n);
    if (link.cutArmed) {
        pass = std::min(pass, link.replyAllowance);
        link.replyAllowance -= pass;
        if (pass < std::size_t(n)) link.closing = true;
    }
    link.toClient.append(buffer, pass);
    return true;
}

bool FaultProxy::writable(const Link& link, bool toServer) const {
    return !(toServer ? link.toServer : link.toClient).empty() && !link.stalled;
}

bool FaultProxy::flush(Link& link, bool toServer) {
    std::string& pending = toServer ? link.toServer : link.toClient;
    if (!writable(link, toServer)) return true;
    std::size_t limit = pending.size();
    {
        std::lock_guard lock(mutex_);
        if (delay_.count() > 0) limit = std::min(limit, std::max<std::size_t>(chunk_, 1));
    }
    const ssize_t n = ::send(toServer ? link.server : link.client, pending.data(), limit, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    pending.erase(0, std::size_t(n));
    return true;
}

}  // namespace qv::test
