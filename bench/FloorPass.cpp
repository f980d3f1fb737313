// The protocol floor of a container pass: a minimal libldap client that sends
// exactly the LDAP operations a pass needs and nothing else, on one
// connection, and does as little as possible with the answers. Its wall time
// is what the directory costs; a pass should cost barely more.
//
//   quorvel_bench_floor --url URL --bind-dn DN --password PW --target DN --manifest dls.tsv
//                       [--delta | --sync STATEFILE]
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
//
// With --sync STATEFILE it is the floor of an incremental pass (the
// incremental floor): the server's content synchronisation (RFC 4533) tells
// what changed since the last run, whose per-DL cookie, entryUUID-to-DN map
// and entryCSN after its own write it keeps in STATEFILE. One root-entry
// read, the target's read, the paged search for the Quorvel DLs (their
// definition and entryCSN with it), one refreshOnly sync search (no
// attributes, every entry) per query base and cookie the DLs share, and per
// DL below whose base something changed one search of its query limited to
// the changed entryUUIDs, then, when the names differ, the delta floor's write
// with the Post-Read control for the entryCSN it leaves. A DL the state does
// not know, whose entryCSN is not the one written, or below whose base more
// than 500 entries changed, gets what a full pass needs instead: the read of
// its members and a sync search of its query without cookie, whose entries
// are the whole map.
#include <lber.h>
#include <ldap.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
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

    // The same, with the first value of each of `names` per entry (in `values`, entry by entry).
    std::vector<std::string> search(const Search& s, const std::vector<const char*>& names,
                                    std::vector<std::vector<std::string>>& values) {
        auto attrs = attributeList(names);
        std::vector<std::string> dns;
        std::string cookie;
        do {
            int msgid = sendPage(s, attrs, cookie);
            cookie = readPage(msgid, dns, &names, &values);
        } while (!cookie.empty());
        return dns;
    }

    // Whether the entry holds `value` in member (a compare).
    bool holds(const std::string& dn, const std::string& value) {
        berval asserted{value.size(), const_cast<char*>(value.data())};
        int rc = ldap_compare_ext_s(ld_.get(), dn.c_str(), "member", &asserted, nullptr, nullptr);
        return rc == LDAP_COMPARE_TRUE;
    }

    // Both writes return the entryCSN they left when `postRead` (else "").
    std::string replaceMembers(const std::string& dn, const std::vector<std::string>& members, bool postRead = false) {
        return modify(dn, {{LDAP_MOD_REPLACE, &members}}, false, postRead);
    }

    // One modify: the names that go deleted, the names that come added.
    std::string changeMembers(const std::string& dn, const std::vector<std::string>& removed,
                              const std::vector<std::string>& added, bool postRead = false) {
        std::vector<std::pair<int, const std::vector<std::string>*>> parts;
        if (!removed.empty()) parts.push_back({LDAP_MOD_DELETE, &removed});
        if (!added.empty()) parts.push_back({LDAP_MOD_ADD, &added});
        return modify(dn, parts, true, postRead);
    }

    // What one refreshOnly sync search reports.
    struct SyncResult {
        std::vector<std::pair<std::string, std::string>> entries;  // entryUUID (raw), DN
        std::vector<std::string> deleted;                          // entryUUIDs (raw)
        bool wholeSet = false;  // a present phase: what was not reported has left
        std::string cookie;
    };

    SyncResult refresh(const Search& s, const std::string& cookie) {
        auto value = syncRequest(cookie);
        LDAPControl control{const_cast<char*>(LDAP_CONTROL_SYNC), value, 1};
        LDAPControl* controls[] = {&control, nullptr};
        char* attrs[] = {const_cast<char*>(LDAP_NO_ATTRS), nullptr};
        int msgid = 0;
        int rc = ldap_search_ext(ld_.get(), s.base.c_str(), s.scope, s.filter.c_str(), attrs, 0, controls, nullptr,
                                 nullptr, LDAP_NO_LIMIT, &msgid);
        ber_memfree(value.bv_val);
        if (rc != LDAP_SUCCESS) fail("sync search " + s.base, rc);
        SyncResult out;
        for (;;) {
            LDAPMessage* raw = nullptr;
            int type = ldap_result(ld_.get(), msgid, LDAP_MSG_ONE, nullptr, &raw);
            Message message(raw);
            if (type == LDAP_RES_SEARCH_ENTRY) {
                syncEntry(raw, out);
            } else if (type == LDAP_RES_INTERMEDIATE) {
                syncInfo(raw, out);
            } else if (type == LDAP_RES_SEARCH_RESULT) {
                syncDone(raw, out);
                return out;
            } else if (type < 0) {
                fail("result", LDAP_SERVER_DOWN);
            }
        }
    }

private:
    struct BerFree {
        void operator()(BerElement* b) const { ber_free(b, 1); }
    };
    using Ber = std::unique_ptr<BerElement, BerFree>;

    static berval syncRequest(const std::string& cookie) {
        Ber ber(ber_alloc_t(LBER_USE_DER));
        berval c{cookie.size(), const_cast<char*>(cookie.data())};
        if (cookie.empty())
            ber_printf(ber.get(), "{eb}", ber_int_t(LDAP_SYNC_REFRESH_ONLY), 0);
        else
            ber_printf(ber.get(), "{eOb}", ber_int_t(LDAP_SYNC_REFRESH_ONLY), &c, 0);
        berval out{0, nullptr};
        if (ber_flatten2(ber.get(), &out, 1) < 0) fail("sync control", LDAP_ENCODING_ERROR);
        return out;
    }

    void syncEntry(LDAPMessage* entry, SyncResult& out) {
        LDAPControl** raw = nullptr;
        ldap_get_entry_controls(ld_.get(), entry, &raw);
        std::unique_ptr<LDAPControl*, ControlsFree> controls(raw);
        LDAPControl* state = ldap_control_find(LDAP_CONTROL_SYNC_STATE, raw, nullptr);
        if (!state) fail("sync entry without state", LDAP_PROTOCOL_ERROR);
        Ber ber(ber_init(&state->ldctl_value));
        ber_int_t kind = 0;
        berval uuid{0, nullptr};
        if (ber_scanf(ber.get(), "{em", &kind, &uuid) == LBER_ERROR) fail("sync state", LDAP_DECODING_ERROR);
        std::string id(uuid.bv_val, uuid.bv_len);
        if (kind == LDAP_SYNC_DELETE) return out.deleted.push_back(id);
        std::unique_ptr<char, MemFree> dn(ldap_get_dn(ld_.get(), entry));
        out.entries.emplace_back(std::move(id), dn.get());
    }

    void syncInfo(LDAPMessage* message, SyncResult& out) {
        char* oid = nullptr;
        berval* data = nullptr;
        if (ldap_parse_intermediate(ld_.get(), message, &oid, &data, nullptr, 0) != LDAP_SUCCESS || !data) return;
        std::unique_ptr<char, MemFree> oidText(oid);
        std::unique_ptr<berval, decltype(&ber_bvfree)> value(data, ber_bvfree);
        Ber ber(ber_init(data));
        ber_len_t length = 0;
        const ber_tag_t tag = ber_peek_tag(ber.get(), &length);
        if (tag == LDAP_TAG_SYNC_NEW_COOKIE) {
            berval cookie{0, nullptr};
            ber_scanf(ber.get(), "m", &cookie);
            out.cookie.assign(cookie.bv_val, cookie.bv_len);
            return;
        }
        if (tag != LDAP_TAG_SYNC_ID_SET && tag != LDAP_TAG_SYNC_REFRESH_DELETE && tag != LDAP_TAG_SYNC_REFRESH_PRESENT)
            return;
        ber_scanf(ber.get(), "{");
        if (ber_peek_tag(ber.get(), &length) == LDAP_TAG_SYNC_COOKIE) {
            berval cookie{0, nullptr};
            ber_scanf(ber.get(), "m", &cookie);
            out.cookie.assign(cookie.bv_val, cookie.bv_len);
        }
        ber_int_t deletes = tag == LDAP_TAG_SYNC_REFRESH_DELETE;
        if (tag != LDAP_TAG_SYNC_ID_SET) {
            if (tag == LDAP_TAG_SYNC_REFRESH_PRESENT) out.wholeSet = true;
            return;
        }
        if (ber_peek_tag(ber.get(), &length) == LBER_BOOLEAN) ber_scanf(ber.get(), "b", &deletes);
        berval* uuids = nullptr;
        if (ber_scanf(ber.get(), "[W]", &uuids) == LBER_ERROR) fail("sync id set", LDAP_DECODING_ERROR);
        for (berval* u = uuids; u && u->bv_val; ++u)
            if (deletes) out.deleted.emplace_back(u->bv_val, u->bv_len);
        if (!deletes) out.wholeSet = true;
        ber_bvarray_free(uuids);
    }

    // The controls of a final result that reports success; a failure ends the run, naming `what`.
    std::unique_ptr<LDAPControl*, ControlsFree> checked(LDAPMessage* result, const std::string& what) {
        int code = LDAP_SUCCESS;
        LDAPControl** rawControls = nullptr;
        if (int rc = ldap_parse_result(ld_.get(), result, &code, nullptr, nullptr, nullptr, &rawControls, 0);
            rc != LDAP_SUCCESS)
            fail(what, rc);
        std::unique_ptr<LDAPControl*, ControlsFree> controls(rawControls);
        if (code != LDAP_SUCCESS) fail(what, code);
        return controls;
    }

    void syncDone(LDAPMessage* result, SyncResult& out) {
        const auto controls = checked(result, "sync search");
        LDAPControl* done = ldap_control_find(LDAP_CONTROL_SYNC_DONE, controls.get(), nullptr);
        if (!done) return;
        Ber ber(ber_init(&done->ldctl_value));
        ber_len_t length = 0;
        ber_scanf(ber.get(), "{");
        if (ber_peek_tag(ber.get(), &length) == LDAP_TAG_SYNC_COOKIE) {
            berval cookie{0, nullptr};
            ber_scanf(ber.get(), "m", &cookie);
            out.cookie.assign(cookie.bv_val, cookie.bv_len);
        }
        ber_int_t deletes = 0;
        if (ber_peek_tag(ber.get(), &length) == LBER_BOOLEAN) ber_scanf(ber.get(), "b", &deletes);
        if (!deletes) out.wholeSet = true;
    }

    static berval postReadRequest() {
        Ber ber(ber_alloc_t(LBER_USE_DER));
        ber_printf(ber.get(), "{s}", "entryCSN");
        berval out{0, nullptr};
        if (ber_flatten2(ber.get(), &out, 1) < 0) fail("post-read control", LDAP_ENCODING_ERROR);
        return out;
    }

    // The entryCSN in a Post-Read response control's entry.
    static std::string postReadCsn(LDAPControl** controls) {
        LDAPControl* control = ldap_control_find(LDAP_CONTROL_POST_READ, controls, nullptr);
        if (!control) return {};
        Ber ber(ber_init(&control->ldctl_value));
        berval dn{0, nullptr}, type{0, nullptr};
        if (ber_scanf(ber.get(), "{m{", &dn) == LBER_ERROR) return {};
        std::string csn;
        while (ber_scanf(ber.get(), "{m", &type) != LBER_ERROR) {
            berval* values = nullptr;
            if (ber_scanf(ber.get(), "[W]}", &values) == LBER_ERROR) break;
            if (values && values[0].bv_val) csn.assign(values[0].bv_val, values[0].bv_len);
            ber_bvarray_free(values);
        }
        return csn;
    }

    std::string modify(const std::string& dn,
                       const std::vector<std::pair<int, const std::vector<std::string>*>>& parts, bool permissive,
                       bool postRead) {
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
        LDAPControl read{const_cast<char*>(LDAP_CONTROL_POST_READ), {0, nullptr}, 0};
        std::vector<LDAPControl*> controls;
        if (permissive) controls.push_back(&control);
        if (postRead) controls.push_back(&read), read.ldctl_value = postReadRequest();
        controls.push_back(nullptr);
        std::unique_ptr<char, MemFree> readValue(read.ldctl_value.bv_val);
        int msgid = 0;
        if (int rc = ldap_modify_ext(ld_.get(), dn.c_str(), list.data(), controls.size() > 1 ? controls.data() : nullptr,
                                     nullptr, &msgid);
            rc != LDAP_SUCCESS)
            fail("modify " + dn, rc);
        LDAPMessage* raw = nullptr;
        if (ldap_result(ld_.get(), msgid, LDAP_MSG_ALL, nullptr, &raw) < 0) fail("modify " + dn, LDAP_SERVER_DOWN);
        Message result(raw);
        const auto serverControls = checked(raw, "modify " + dn);
        return postRead ? postReadCsn(serverControls.get()) : std::string();
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
    std::string readPage(int msgid, std::vector<std::string>& dns, const std::vector<const char*>* names = nullptr,
                         std::vector<std::vector<std::string>>* values = nullptr) {
        for (;;) {
            LDAPMessage* raw = nullptr;
            int type = ldap_result(ld_.get(), msgid, LDAP_MSG_ONE, nullptr, &raw);
            Message message(raw);
            if (type == LDAP_RES_SEARCH_ENTRY) {
                std::unique_ptr<char, MemFree> dn(ldap_get_dn(ld_.get(), raw));
                dns.emplace_back(dn.get());
                if (!values) continue;
                auto& row = values->emplace_back();
                for (const char* name : *names) {
                    std::unique_ptr<berval*, ValuesFree> found(ldap_get_values_len(ld_.get(), raw, name));
                    row.emplace_back(found && found.get()[0] ? std::string(found.get()[0]->bv_val, found.get()[0]->bv_len)
                                                             : std::string());
                }
            } else if (type == LDAP_RES_SEARCH_RESULT) {
                return finishPage(raw);
            } else if (type < 0) {
                fail("result", LDAP_SERVER_DOWN);
            }
        }
    }

    std::string finishPage(LDAPMessage* result) {
        const auto controls = checked(result, "search");
        LDAPControl* page = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls.get(), nullptr);
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

// ---- the incremental floor ----------------------------------------------------------

// What the incremental floor keeps of one DL between runs.
struct DlState {
    std::string csn;     // the entryCSN after its last write (or as read)
    std::string cookie;  // where its query's next refresh resumes
    std::vector<std::pair<std::string, std::string>> map;  // entryUUID (raw) -> DN, in result order
};

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string unhex(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) out += char(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// The state file: "D\tdn\tcsn\tcookie" per DL, then "M\tuuid\tdn" per member (hex where binary).
std::map<std::string, DlState> readState(const std::string& path) {
    std::map<std::string, DlState> out;
    std::ifstream file(path);
    std::string line;
    DlState* current = nullptr;
    while (std::getline(file, line)) {
        std::vector<std::string> f;
        for (std::size_t start = 0;;) {
            std::size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f[0] == "D" && f.size() == 4) current = &(out[f[1]] = DlState{f[2], unhex(f[3]), {}});
        if (f[0] == "M" && f.size() == 3 && current) current->map.emplace_back(unhex(f[1]), f[2]);
    }
    return out;
}

void writeState(const std::string& path, const std::map<std::string, DlState>& state) {
    std::ofstream file(path + ".new");
    for (const auto& [dn, dl] : state) {
        file << "D\t" << dn << '\t' << dl.csn << '\t' << hex(dl.cookie) << '\n';
        for (const auto& [uuid, member] : dl.map) file << "M\t" << hex(uuid) << '\t' << member << '\n';
    }
    file.close();
    if (!file || std::rename((path + ".new").c_str(), path.c_str()) != 0) throw std::runtime_error("cannot write " + path);
}

// Applies one refresh to a DL's map: entries that came or changed name, and those that left.
void apply(DlState& dl, const Floor::SyncResult& sync) {
    std::unordered_map<std::string, std::size_t> place;
    for (std::size_t i = 0; i < dl.map.size(); ++i) place[dl.map[i].first] = i;
    std::unordered_set<std::string> reported;
    for (const auto& [uuid, dn] : sync.entries) {
        reported.insert(uuid);
        // An entry still there is named in a present phase by its entryUUID alone.
        if (auto known = place.find(uuid); known != place.end()) {
            if (!dn.empty()) dl.map[known->second].second = dn;
        } else if (!dn.empty()) {
            place[uuid] = dl.map.size();
            dl.map.emplace_back(uuid, dn);
        }
    }
    std::unordered_set<std::string> gone(sync.deleted.begin(), sync.deleted.end());
    std::erase_if(dl.map, [&](const auto& member) {
        return gone.count(member.first) || (sync.wholeSet && !reported.count(member.first));
    });
    if (!sync.cookie.empty()) dl.cookie = sync.cookie;
}

// The entryUUID as the attribute reads, from the sync control's 16 bytes.
std::string uuidText(const std::string& raw) {
    std::string text = hex(raw);
    for (std::size_t at : {8u, 13u, 18u, 23u}) text.insert(at, 1, '-');
    return text;
}

std::string uuidRaw(std::string text) {
    std::erase(text, '-');
    return unhex(text);
}

constexpr std::size_t kMostChanges = 500;  // more changed entries below a base: its DLs run in full

// Narrows a base's changes to one DL's query: the changed entries it finds
// now come or are renamed, the changed ones it does not find and those
// deleted leave.
void narrow(Floor& floor, DlState& dl, const Search& query, const Floor::SyncResult& change) {
    std::string filter = "(&" + query.filter + "(|";
    for (const auto& entry : change.entries) filter += "(entryUUID=" + uuidText(entry.first) + ")";
    std::vector<std::vector<std::string>> values;
    const auto dns = floor.search({query.base, query.scope, filter + "))"}, {"entryUUID"}, values);
    std::unordered_map<std::string, std::string> found;  // raw entryUUID -> DN
    for (std::size_t i = 0; i < dns.size(); ++i) found[uuidRaw(values[i][0])] = dns[i];
    std::unordered_set<std::string> leaving(change.deleted.begin(), change.deleted.end());
    for (const auto& entry : change.entries)
        if (!found.count(entry.first)) leaving.insert(entry.first);
    std::erase_if(dl.map, [&](const auto& member) { return leaving.count(member.first) > 0; });
    for (auto& member : dl.map)
        if (auto now = found.find(member.first); now != found.end()) member.second = now->second, found.erase(now);
    for (const auto& entry : change.entries)
        if (auto now = found.find(entry.first); now != found.end()) dl.map.emplace_back(now->first, now->second);
}

Counts runSyncPass(Floor& floor, const std::string& target, const std::unordered_map<std::string, Search>& manifest,
                   const std::string& statePath) {
    Counts counts;
    auto state = readState(statePath);
    floor.read("", "(objectClass=*)", kRootAttributes);
    floor.read(target, "(objectClass=*)", kTargetAttributes);
    std::vector<std::vector<std::string>> values;
    const auto dls = floor.search({target, LDAP_SCOPE_SUBTREE, kDlFilter}, {"extension-attribute-15", "entryCSN"}, values);
    auto queryOf = [&](const std::string& dl) -> const Search& {
        auto query = manifest.find(lower(dl));
        if (query == manifest.end()) throw std::runtime_error("not in the manifest: " + dl);
        return query->second;
    };
    auto stands = [&](std::size_t i) {
        auto known = state.find(lower(dls[i]));
        return known != state.end() && known->second.csn == values[i][1];
    };
    // The changes below each query base since each cookie, read once.
    std::map<std::pair<std::string, std::string>, Floor::SyncResult> bases;
    for (std::size_t i = 0; i < dls.size(); ++i) {
        if (!stands(i)) continue;
        const Search& query = queryOf(dls[i]);
        const std::pair key{lower(query.base), state[lower(dls[i])].cookie};
        if (!bases.count(key)) bases[key] = floor.refresh({query.base, LDAP_SCOPE_SUBTREE, "(objectClass=*)"}, key.second);
    }
    for (std::size_t i = 0; i < dls.size(); ++i) {
        const std::string& dl = dls[i];
        ++counts.dls;
        const Search& query = queryOf(dl);
        DlState& now = state[lower(dl)];
        const Floor::SyncResult* change = nullptr;
        if (stands(i)) change = &bases.at({lower(query.base), now.cookie});
        if (change && (change->wholeSet || change->entries.size() > kMostChanges)) change = nullptr;
        std::vector<std::string> held;
        if (change) {
            if (!change->cookie.empty()) now.cookie = change->cookie;
            if (change->entries.empty() && change->deleted.empty()) continue;  // nothing below its base changed
            for (const auto& member : now.map) held.push_back(member.second);
            narrow(floor, now, query, *change);
        } else {
            held = std::move(floor.read(dl, "(objectClass=*)", kDlAttributes, {"member"})[0]);
            now = DlState{values[i][1], {}, {}};
            apply(now, floor.refresh(query, {}));
        }
        std::vector<std::string> found;
        for (const auto& member : now.map)
            if (lower(member.second) != lower(dl)) found.push_back(member.second);
        if (found.size() > kMaxMembers) {
            ++counts.refused;
            continue;
        }
        if (!differ(found, held)) continue;
        ++counts.written;
        Delta d = diff(found, held);
        std::string csn;
        if (!found.empty() && 2 * (d.added.size() + d.removed.size()) <= found.size()) {
            csn = floor.changeMembers(dl, distinct(std::move(d.removed)), distinct(std::move(d.added)), true);
            ++counts.changed;
        } else {
            csn = floor.replaceMembers(dl, found, true);
        }
        now.csn = csn;
    }
    writeState(statePath, state);
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
        bool delta = false, sync = false;
        for (int i = 1; i < argc; ++i) {
            delta = delta || std::strcmp(argv[i], "--delta") == 0;
            sync = sync || std::strcmp(argv[i], "--sync") == 0;
        }
        Counts c = sync ? runSyncPass(floor, option(argc, argv, "--target"), manifest, option(argc, argv, "--sync"))
                        : runPass(floor, option(argc, argv, "--target"), manifest, delta);
        std::fprintf(stderr, "floor: %zu DLs, %zu written (%zu as a change), %zu refused\n", c.dls, c.written,
                     c.changed, c.refused);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel_bench_floor: %s\n", e.what());
        return 1;
    }
}
