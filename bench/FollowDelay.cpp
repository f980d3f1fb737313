// Follow mode's delay: how long after a change to a person every DL the
// change affects holds (or no longer holds) that person, while
// `quorvel --follow` runs against the directory.
//
//   quorvel_bench_follow_delay --url URL --bind-dn DN --password PW --manifest dls.tsv --changes change.ldif
//                              [--deadline SECONDS] [--out FILE]
//
// The changes (an LDIF of modify records with replace parts, as the
// generator writes them) are applied one at a time. For each, the DLs of the
// manifest whose query selects the person before the change and those that
// select it after are found with one base search of the person per DL
// (that query's filter, where the person lies within its base and scope);
// the DLs in one set and not the other are the affected ones. From the
// modify's answer on, each affected DL is asked with a compare, every 10 ms,
// whether it holds the person as the query now says, until all do; that time
// is the change's delay. A DL over the membership limit (the manifest's
// "after" above 5,000) is left out: no pass writes it. A change that affects
// no DL has no delay. Prints one line per change (delay in seconds, DLs
// affected; "timeout" past the deadline, 60 s) to --out and a summary line.
#include <ldap.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxMembers = 5000;

struct Unbind {
    void operator()(LDAP* ld) const { ldap_unbind_ext(ld, nullptr, nullptr); }
};
struct MsgFree {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};

[[noreturn]] void fail(const std::string& what, int rc) { throw std::runtime_error(what + ": " + ldap_err2string(rc)); }

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t start = 0;;) {
        std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

struct Dl {
    std::string dn, base, filter;
    int scope = LDAP_SCOPE_SUBTREE;
};

// One modify record: replace parts only.
struct Change {
    std::string dn;
    std::vector<std::pair<std::string, std::vector<std::string>>> replaces;
};

std::vector<Dl> readManifest(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::vector<Dl> out;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        auto f = fields(line);
        if (f.size() != 6) throw std::runtime_error("bad manifest line: " + line);
        if (std::stoul(f[2]) > kMaxMembers) continue;
        out.push_back(Dl{f[0], f[4], f[5], std::stoi(f[3])});
    }
    return out;
}

std::vector<Change> readChanges(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::vector<Change> out;
    for (std::string line; std::getline(file, line);) {
        auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "dn") {
            out.push_back(Change{value, {}});
        } else if (key == "replace" && !out.empty()) {
            out.back().replaces.push_back({value, {}});
        } else if (key != "changetype" && !out.empty() && !out.back().replaces.empty()) {
            out.back().replaces.back().second.push_back(value);
        }
    }
    return out;
}

// True when the entry `dn` lies within the search's base and scope.
bool within(const std::string& dn, const Dl& dl) {
    const std::string d = lower(dn), b = lower(dl.base);
    if (d.size() <= b.size() + 1 || d.compare(d.size() - b.size(), b.size(), b) != 0 || d[d.size() - b.size() - 1] != ',')
        return false;
    if (dl.scope != LDAP_SCOPE_ONELEVEL) return true;
    // One level: no unescaped comma before the base's.
    const std::string rdn = d.substr(0, d.size() - b.size() - 1);
    for (std::size_t i = 0; i < rdn.size(); ++i) {
        if (rdn[i] == '\\') ++i;
        else if (rdn[i] == ',') return false;
    }
    return true;
}

class Directory {
public:
    Directory(const std::string& url, const std::string& dn, const std::string& password) {
        LDAP* raw = nullptr;
        if (int rc = ldap_initialize(&raw, url.c_str()); rc != LDAP_SUCCESS) fail("initialize", rc);
        ld_.reset(raw);
        int version = LDAP_VERSION3;
        ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
        berval credential{password.size(), const_cast<char*>(password.data())};
        if (int rc = ldap_sasl_bind_s(raw, dn.c_str(), LDAP_SASL_SIMPLE, &credential, nullptr, nullptr, nullptr);
            rc != LDAP_SUCCESS)
            fail("bind", rc);
    }

    bool matches(const std::string& dn, const std::string& filter) {
        char* attrs[] = {const_cast<char*>(LDAP_NO_ATTRS), nullptr};
        LDAPMessage* raw = nullptr;
        int rc = ldap_search_ext_s(ld_.get(), dn.c_str(), LDAP_SCOPE_BASE, filter.c_str(), attrs, 0, nullptr, nullptr,
                                   nullptr, LDAP_NO_LIMIT, &raw);
        std::unique_ptr<LDAPMessage, MsgFree> result(raw);
        if (rc != LDAP_SUCCESS) fail("search " + dn, rc);
        return ldap_count_entries(ld_.get(), raw) > 0;
    }

    void apply(const Change& change) {
        std::vector<std::vector<berval>> values(change.replaces.size());
        std::vector<std::vector<berval*>> pointers(change.replaces.size());
        std::vector<LDAPMod> mods(change.replaces.size());
        std::vector<LDAPMod*> list;
        for (std::size_t i = 0; i < change.replaces.size(); ++i) {
            for (const auto& v : change.replaces[i].second) values[i].push_back({v.size(), const_cast<char*>(v.data())});
            for (auto& v : values[i]) pointers[i].push_back(&v);
            pointers[i].push_back(nullptr);
            mods[i].mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
            mods[i].mod_type = const_cast<char*>(change.replaces[i].first.c_str());
            mods[i].mod_bvalues = pointers[i].data();
            list.push_back(&mods[i]);
        }
        list.push_back(nullptr);
        if (int rc = ldap_modify_ext_s(ld_.get(), change.dn.c_str(), list.data(), nullptr, nullptr); rc != LDAP_SUCCESS)
            fail("modify " + change.dn, rc);
    }

    bool holds(const std::string& dl, const std::string& member) {
        berval asserted{member.size(), const_cast<char*>(member.data())};
        int rc = ldap_compare_ext_s(ld_.get(), dl.c_str(), "member", &asserted, nullptr, nullptr);
        if (rc != LDAP_COMPARE_TRUE && rc != LDAP_COMPARE_FALSE && rc != LDAP_NO_SUCH_ATTRIBUTE) fail("compare " + dl, rc);
        return rc == LDAP_COMPARE_TRUE;
    }

private:
    std::unique_ptr<LDAP, Unbind> ld_;
};

// The DLs whose query selects the person `dn` now.
std::vector<bool> selecting(Directory& directory, const std::vector<Dl>& dls, const std::string& dn) {
    std::vector<bool> out(dls.size());
    for (std::size_t i = 0; i < dls.size(); ++i) out[i] = within(dn, dls[i]) && directory.matches(dn, dls[i].filter);
    return out;
}

std::string option(int argc, char** argv, const char* name, const char* fallback = nullptr) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    if (fallback) return fallback;
    throw std::runtime_error(std::string("missing ") + name);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const auto dls = readManifest(option(argc, argv, "--manifest"));
        const auto changes = readChanges(option(argc, argv, "--changes"));
        const auto deadline = std::chrono::seconds(std::stoi(option(argc, argv, "--deadline", "60")));
        std::ofstream out(option(argc, argv, "--out", "/dev/stdout"));
        Directory directory(option(argc, argv, "--url"), option(argc, argv, "--bind-dn"), option(argc, argv, "--password"));
        std::vector<double> delays;
        std::size_t timeouts = 0, affectedDls = 0;
        for (const auto& change : changes) {
            const auto before = selecting(directory, dls, change.dn);
            directory.apply(change);
            const auto start = Clock::now();
            const auto after = selecting(directory, dls, change.dn);
            std::vector<std::size_t> affected;
            for (std::size_t i = 0; i < dls.size(); ++i)
                if (before[i] != after[i]) affected.push_back(i);
            if (affected.empty()) continue;
            affectedDls += affected.size();
            while (!affected.empty() && Clock::now() - start < deadline) {
                std::erase_if(affected, [&](std::size_t i) { return directory.holds(dls[i].dn, change.dn) == after[i]; });
                if (!affected.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!affected.empty()) {
                ++timeouts;
                out << "timeout " << affected.size() << ' ' << change.dn << '\n';
                continue;
            }
            delays.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            out << delays.back() << ' ' << change.dn << '\n';
        }
        std::sort(delays.begin(), delays.end());
        const double median = delays.empty() ? 0
                              : delays.size() % 2 ? delays[delays.size() / 2]
                                                  : (delays[delays.size() / 2 - 1] + delays[delays.size() / 2]) / 2;
        std::printf("follow delay: %zu changes, %zu affecting %zu DLs; median %.3f s, largest %.3f s, %zu past the "
                    "deadline\n",
                    changes.size(), delays.size() + timeouts, affectedDls, median, delays.empty() ? 0 : delays.back(),
                    timeouts);
        return timeouts ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel_bench_follow_delay: %s\n", e.what());
        return 2;
    }
}
