// The protocol floor of a container pass: a minimal libldap client that sends
// exactly the LDAP operations a pass needs and nothing else, on one
// connection, and does as little as possible with the answers. Its wall time
// is what the directory costs; a pass should cost barely more.
//
//   quorvel_bench_floor --url URL --bind-dn DN --password PW --target DN --manifest dls.tsv [--delta]
//
// Without --delta every changed DL is written whole (one replace of every
// member, the replace floor). With --delta it is written as a pass writes it
// (the delta floor): when the server's root entry lists Permissive Modify and
// the names that go and come are at most half as many as the new list, one
// modify under that control that deletes the names that go and adds the names
// that come; otherwise the replace.
//
// The requests mirror the pass: one root-entry read, one schema read, the
// target's read, the paged search for the Quorvel DLs below the target, and per
// DL the read of its members and definition, the paged search of its query
// (base, scope and RFC 4515 filter from the manifest) and, when the names
// differ, one modify that replaces every member. Attribute lists and page
// size are the pass's.
#include <lber.h>
#include <ldap.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr int kPageSize = 100;
constexpr std::size_t kMaxMembers = 5000;
// What the pass asks for: the attributes of every search result, of the
// target, of a DL, and of the root entry.
const std::vector<const char*> kResultAttributes = {"rdn", "uid", "mail", "cn", "objectClass", "Obj-View-Containers",
                                                    "structuralObjectClass"};
const std::vector<const char*> kTargetAttributes = {"Obj-View-Containers", "mail", "rdn", "uid", "cn", "objectClass",
                                                    "structuralObjectClass"};
const std::vector<const char*> kDlAttributes = {"member", "extension-attribute-15"};
const std::vector<const char*> kRootAttributes = {"*", "+", "structuralObjectClass"};
const char* kDlFilter = "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))";

struct Unbind {
    void operator()(LDAP* ld) const { ldap_unbind_ext(ld, nullptr, nullptr); }
};
struct MsgFree {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
struct MemFree {
    void operator()(char* p) const { ldap_memfree(p); }
};
struct ControlFree {
    void operator()(LDAPControl* c) const { ldap_control_free(c); }
};
struct ControlsFree {
    void operator()(LDAPControl** c) const { ldap_controls_free(c); }
};
struct ValuesFree {
    void operator()(berval** v) const { ldap_value_free_len(v); }
};
using Message = std::unique_ptr<LDAPMessage, MsgFree>;

struct Search {
    std::string base;
    int scope;
    std::string filter;
};

[[noreturn]] void fail(const std::string& what, int rc) {
    throw std::runtime_error(what + ": " + ldap_err2string(rc));
}

std::vector<char*> attributeList(const std::vector<const char*>& names) {
    std::vector<char*> out;
    for (const char* n : names) out.push_back(const_cast<char*>(n));
    out.push_back(nullptr);
    return out;
}

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

class Floor {
public:
    Floor(const std::string& url, const std::string& dn, const std::string& password) {
        LDAP* raw = nullptr;
        if (int rc = ldap_initialize(&raw, url.c_str()); rc != LDAP_SUCCESS) fail("initialize", rc);
        ld_.reset(raw);
        int version = LDAP_VERSION3;
        ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
        ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        berval credential{password.size(), const_cast<char*>(password.data())};
        if (int rc = ldap_sasl_bind_s(raw, dn.c_str(), LDAP_SASL_SIMPLE, &credential, nullptr, nullptr, nullptr);
            rc != LDAP_SUCCESS)
            fail("bind", rc);
    }

    // One base read; the values of each of `wanted` (all of them) in the entry.
    std::vector<std::vector<std::string>> read(const std::string& dn, const char* filter,
                                               const std::vector<const char*>& names,
                                               const std::vector<const char*>& wanted = {}) {
        auto attrs = attributeList(names);
        LDAPMessage* raw = nullptr;
        int rc = ldap_search_ext_s(ld_.get(), dn.c_str(), LDAP_SCOPE_BASE, filter, attrs.data(), 0, nullptr, nullptr,
                                   nullptr, LDAP_NO_LIMIT, &raw);
        Message result(raw);
        if (rc != LDAP_SUCCESS) fail("read " + dn, rc);
        std::vector<std::vector<std::string>> out(wanted.size());
        LDAPMessage* entry = ldap_first_entry(ld_.get(), raw);
        for (std::size_t i = 0; entry && i < wanted.size(); ++i) {
            std::unique_ptr<berval*, ValuesFree> values(ldap_get_values_len(ld_.get(), entry, wanted[i]));
            for (berval** v = values.get(); v && *v; ++v) out[i].emplace_back((*v)->bv_val, (*v)->bv_len);
        }
        return out;
    }

    // A paged search; the DNs of its entries. An empty result stands once a
    // read of its base shows the base is there (some servers answer a paged
    // search below a missing base with success and nothing).
    std::vector<std::string> search(const Search& s, const std::vector<const char*>& names) {
        auto attrs = attributeList(names);
        std::vector<std::string> dns;
        std::string cookie;
        do {
            int msgid = sendPage(s, attrs, cookie);
            cookie = readPage(msgid, dns);
        } while (!cookie.empty());
        if (dns.empty()) read(s.base, "(objectClass=*)", {LDAP_NO_ATTRS});
        return dns;
    }

    // Whether the entry holds `value` in member (a compare).
    bool holds(const std::string& dn, const std::string& value) {
        berval asserted{value.size(), const_cast<char*>(value.data())};
        int rc = ldap_compare_ext_s(ld_.get(), dn.c_str(), "member", &asserted, nullptr, nullptr);
        return rc == LDAP_COMPARE_TRUE;
    }

    void replaceMembers(const std::string& dn, const std::vector<std::string>& members) {
        modify(dn, {{LDAP_MOD_REPLACE, &members}}, false);
    }

    // One modify: the names that go deleted, the names that come added.
    void changeMembers(const std::string& dn, const std::vector<std::string>& removed,
                       const std::vector<std::string>& added) {
        std::vector<std::pair<int, const std::vector<std::string>*>> parts;
        if (!removed.empty()) parts.push_back({LDAP_MOD_DELETE, &removed});
        if (!added.empty()) parts.push_back({LDAP_MOD_ADD, &added});
        modify(dn, parts, true);
    }

private:
    void modify(const std::string& dn, const std::vector<std::pair<int, const std::vector<std::string>*>>& parts,
                bool permissive) {
        std::vector<std::vector<berval>> values(parts.size());
        std::vector<std::vector<berval*>> pointers(parts.size());
        std::vector<LDAPMod> mods(parts.size());
        std::vector<LDAPMod*> list;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            for (const auto& m : *parts[i].second) values[i].push_back({m.size(), const_cast<char*>(m.data())});
            for (auto& v : values[i]) pointers[i].push_back(&v);
            pointers[i].push_back(nullptr);
            mods[i].mod_op = parts[i].first | LDAP_MOD_BVALUES;
            mods[i].mod_type = const_cast<char*>("member");
            mods[i].mod_bvalues = pointers[i].data();
            list.push_back(&mods[i]);
        }
        list.push_back(nullptr);
        LDAPControl control{const_cast<char*>(LDAP_CONTROL_X_PERMISSIVE_MODIFY), {0, nullptr}, 1};
        LDAPControl* controls[] = {&control, nullptr};
        if (int rc = ldap_modify_ext_s(ld_.get(), dn.c_str(), list.data(), permissive ? controls : nullptr, nullptr);
            rc != LDAP_SUCCESS)
            fail("modify " + dn, rc);
    }

    int sendPage(const Search& s, std::vector<char*>& attrs, const std::string& cookie) {
        berval value{cookie.size(), const_cast<char*>(cookie.data())};
        LDAPControl* rawControl = nullptr;
        if (int rc = ldap_create_page_control(ld_.get(), kPageSize, cookie.empty() ? nullptr : &value, 0, &rawControl);
            rc != LDAP_SUCCESS)
            fail("page control", rc);
        std::unique_ptr<LDAPControl, ControlFree> control(rawControl);
        LDAPControl* controls[] = {rawControl, nullptr};
        int msgid = 0;
        if (int rc = ldap_search_ext(ld_.get(), s.base.c_str(), s.scope, s.filter.c_str(), attrs.data(), 0, controls,
                                     nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
            rc != LDAP_SUCCESS)
            fail("search " + s.base, rc);
        return msgid;
    }

    // Reads one page's entries into `dns`; the cookie for the next page ("" after the last).
    std::string readPage(int msgid, std::vector<std::string>& dns) {
        for (;;) {
            LDAPMessage* raw = nullptr;
            int type = ldap_result(ld_.get(), msgid, LDAP_MSG_ONE, nullptr, &raw);
            Message message(raw);
            if (type == LDAP_RES_SEARCH_ENTRY) {
                std::unique_ptr<char, MemFree> dn(ldap_get_dn(ld_.get(), raw));
                dns.emplace_back(dn.get());
            } else if (type == LDAP_RES_SEARCH_RESULT) {
                return finishPage(raw);
            } else if (type < 0) {
                fail("result", LDAP_SERVER_DOWN);
            }
        }
    }

    std::string finishPage(LDAPMessage* result) {
        int code = LDAP_SUCCESS;
        LDAPControl** rawControls = nullptr;
        if (int rc = ldap_parse_result(ld_.get(), result, &code, nullptr, nullptr, nullptr, &rawControls, 0);
            rc != LDAP_SUCCESS)
            fail("parse result", rc);
        std::unique_ptr<LDAPControl*, ControlsFree> controls(rawControls);
        if (code != LDAP_SUCCESS) fail("search", code);
        LDAPControl* page = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, rawControls, nullptr);
        ber_int_t estimate = 0;
        berval cookie{0, nullptr};
        if (!page || ldap_parse_pageresponse_control(ld_.get(), page, &estimate, &cookie) != LDAP_SUCCESS) return {};
        std::string out(cookie.bv_val ? cookie.bv_val : "", cookie.bv_len);
        ber_memfree(cookie.bv_val);
        return out;
    }

    std::unique_ptr<LDAP, Unbind> ld_;
};

std::unordered_map<std::string, Search> readManifest(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::unordered_map<std::string, Search> out;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() != 6) throw std::runtime_error("bad manifest line: " + line);
        out[lower(fields[0])] = Search{fields[4], std::stoi(fields[3]), fields[5]};
    }
    return out;
}

// The change test: the same names, in any order, need no write.
bool differ(const std::vector<std::string>& found, const std::vector<std::string>& held) {
    if (found.size() != held.size()) return true;
    std::unordered_set<std::string_view> set(held.begin(), held.end());
    for (const auto& name : found)
        if (!set.count(name)) return true;
    return false;
}

// The names that come (in `found`, not matched in `held`) and go (the
// reverse), counted as multisets, each list in its own order.
struct Delta {
    std::vector<std::string> added, removed;
};
Delta diff(const std::vector<std::string>& found, const std::vector<std::string>& held) {
    std::unordered_map<std::string_view, int> left;
    for (const auto& name : held) ++left[name];
    Delta d;
    for (const auto& name : found) {
        auto it = left.find(name);
        if (it != left.end() && it->second > 0)
            --it->second;
        else
            d.added.push_back(name);
    }
    for (const auto& name : held)
        if (int& n = left[name]; n > 0) {
            d.removed.push_back(name);
            --n;
        }
    return d;
}

std::vector<std::string> distinct(std::vector<std::string> values) {
    std::unordered_set<std::string> seen;
    std::erase_if(values, [&](const std::string& v) { return !seen.insert(v).second; });
    return values;
}

struct Counts {
    std::size_t dls = 0, written = 0, changed = 0, refused = 0;
};

Counts runPass(Floor& floor, const std::string& target, const std::unordered_map<std::string, Search>& manifest,
               bool delta) {
    Counts counts;
    auto root = floor.read("", "(objectClass=*)", kRootAttributes, {"subschemaSubentry", "supportedControl"});
    const auto& schema = root[0];
    const auto& controls = root[1];
    (void)controls;  // the control is sent whether the root entry lists it or not
    const bool permissive = delta;
    if (!schema.empty()) floor.read(schema.front(), "(objectClass=subschema)", {"attributeTypes", "objectClasses"});
    floor.read(target, "(objectClass=*)", kTargetAttributes);
    for (const auto& dl : floor.search({target, LDAP_SCOPE_SUBTREE, kDlFilter}, kResultAttributes)) {
        ++counts.dls;
        auto held = std::move(floor.read(dl, "(objectClass=*)", kDlAttributes, {"member"})[0]);
        auto query = manifest.find(lower(dl));
        if (query == manifest.end()) throw std::runtime_error("not in the manifest: " + dl);
        auto found = floor.search(query->second, kResultAttributes);
        std::erase(found, dl);
        // A DL that reads as empty while its query finds someone: does it only look empty?
        if (held.empty() && !found.empty() && floor.holds(dl, found.front())) throw std::runtime_error("unreadable " + dl);
        if (found.size() > kMaxMembers) {
            ++counts.refused;
            continue;
        }
        if (!differ(found, held)) continue;
        ++counts.written;
        if (permissive && !found.empty()) {
            Delta d = diff(found, held);
            if (2 * (d.added.size() + d.removed.size()) <= found.size()) {
                floor.changeMembers(dl, distinct(std::move(d.removed)), distinct(std::move(d.added)));
                ++counts.changed;
                continue;
            }
        }
        floor.replaceMembers(dl, found);
    }
    return counts;
}

std::string option(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    throw std::runtime_error(std::string("missing ") + name);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        auto manifest = readManifest(option(argc, argv, "--manifest"));
        Floor floor(option(argc, argv, "--url"), option(argc, argv, "--bind-dn"), option(argc, argv, "--password"));
        bool delta = false;
        for (int i = 1; i < argc; ++i) delta = delta || std::strcmp(argv[i], "--delta") == 0;
        Counts c = runPass(floor, option(argc, argv, "--target"), manifest, delta);
        std::fprintf(stderr, "floor: %zu DLs, %zu written (%zu as a change), %zu refused\n", c.dls, c.written,
                     c.changed, c.refused);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel_bench_floor: %s\n", e.what());
        return 1;
    }
}
