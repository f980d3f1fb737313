#include "platform/DirectoryService.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "platform/DirectoryErrors.h"
#include "platform/DistinguishedName.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapEntry.h"
#include "platform/LdapFilter.h"
#include "platform/LdapSession.h"
#include "platform/PagedSearch.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

using detail::Connection;
using detail::LdapFailure;

// Runs op on a connection to the object's server; a failure the server
// reports names the object it concerned.
template <class Op>
auto onObject(const AdsPath& server, const Credentials& credentials, const std::string& dn, Op&& op) {
    try {
        return detail::withConnection(server, credentials, std::forward<Op>(op));
    } catch (const LdapFailure& failure) {
        if (failure.code() < 0) throw;  // libldap's own outcomes already name the server
        throw LdapFailure(failure.code(),
                          Error(failure.number(), failure.description() + " [" + (dn.empty() ? "root entry" : dn) + "]"));
    }
}

bool isSynthetic(std::string_view name) {
    return equalsIgnoringCase(name, "distinguishedName") || equalsIgnoringCase(name, "ADsPath");
}

// The DN an address stands for: its own, the server's default naming context
// for a bare server, none for the root entry.
std::string targetDn(const AdsPath& server, const detail::ServerInfo& info) {
    if (server.target == AdsTarget::Server) return info.defaultNamingContext;
    if (server.target == AdsTarget::RootDse) return {};
    return server.dn;
}

bool isWildcard(std::string_view name) { return name == "*" || name == "+" || name == LDAP_NO_ATTRS; }

// Values compared roughly as the directory's case-ignoring string match does:
// without regard to ASCII case and runs of spaces.
std::string comparable(std::string_view value) {
    std::string out;
    for (char c : lowerAscii(value)) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

bool holdsValue(const std::vector<std::string>& values, const std::string& value) {
    std::string wanted = comparable(value);
    return std::any_of(values.begin(), values.end(), [&](const std::string& v) { return comparable(v) == wanted; });
}

std::vector<std::string> withoutEmptyValues(std::vector<std::string> values) {
    values.erase(std::remove(values.begin(), values.end(), std::string()), values.end());
    return values;
}

// The values without a second copy of any (exactly equal) value: one
// request may not name a value twice.
std::vector<std::string> distinctValues(const std::vector<std::string>& values) {
    std::vector<std::string> out;
    out.reserve(values.size());
    std::unordered_set<std::string_view> seen;
    for (const auto& v : values)
        if (seen.insert(v).second) out.push_back(v);
    return out;
}

// The values a Boolean attribute is written with, from what the program gives.
std::string writableBoolean(const std::string& value) {
    if (equalsIgnoringCase(value, "true")) return "TRUE";
    if (equalsIgnoringCase(value, "false")) return "FALSE";
    return value;
}

std::string readableBoolean(const std::string& value) {
    return value == "TRUE" ? "True" : value == "FALSE" ? "False" : value;
}

// Modifications as libldap takes them, owning every text they point into.
class ModList {
public:
    void add(int op, const std::string& name, const std::vector<std::string>& values) {
        auto& texts = texts_.emplace_back(values);
        auto& bervals = bervals_.emplace_back();
        for (auto& text : texts) bervals.push_back(detail::bervalOf(text));
        auto& pointers = pointers_.emplace_back();
        for (auto& b : bervals) pointers.push_back(&b);
        pointers.push_back(nullptr);
        auto& type = names_.emplace_back(name);
        mods_.push_back(LDAPMod{op | LDAP_MOD_BVALUES, type.data(), {}});
        mods_.back().mod_bvalues = pointers.data();
    }
    bool empty() const { return mods_.empty(); }
    LDAPMod** get() {
        list_.clear();
        for (auto& mod : mods_) list_.push_back(&mod);
        list_.push_back(nullptr);
        return list_.data();
    }

private:
    std::deque<std::vector<std::string>> texts_;
    std::deque<std::vector<berval>> bervals_;
    std::deque<std::vector<berval*>> pointers_;
    std::deque<std::string> names_;
    std::deque<LDAPMod> mods_;
    std::vector<LDAPMod*> list_;
};

// Sends a prepared write and waits for its outcome; hands the server's
// controls to `controls` when given.
template <class Send>
void write(Connection& connection, Send&& send, detail::Controls* controls = nullptr) {
    int msgid = 0;
    int rc = send(connection.get(), &msgid);
    if (rc != LDAP_SUCCESS) connection.fail(rc);
    detail::Message result = connection.await(msgid, false);
    connection.check(result.get(), controls);
}

constexpr const char* kEntryCsn = "entryCSN";

// The Post-Read control (RFC 4527) asking for the entryCSN, not critical.
class PostReadControl {
public:
    PostReadControl() : ber_(ber_alloc_t(LBER_USE_DER)) {
        berval flat{0, nullptr};
        if (!ber_ || ber_printf(ber_.get(), "{s}", kEntryCsn) == -1 || ber_flatten2(ber_.get(), &flat, 0) == -1)
            throw LdapFailure(LDAP_ENCODING_ERROR, directoryError(LDAP_ENCODING_ERROR, "the Post-Read control"));
        control_ = LDAPControl{const_cast<char*>(LDAP_CONTROL_POST_READ), flat, 0};
    }
    LDAPControl* get() { return &control_; }

private:
    detail::OwnedBer ber_;
    LDAPControl control_{};
};

// The entryCSN a Post-Read response among `controls` carries; empty when there is none.
std::string postReadCsn(LDAPControl** controls) {
    LDAPControl* control = ldap_control_find(LDAP_CONTROL_POST_READ, controls, nullptr);
    if (!control) return {};
    detail::OwnedBer ber(ber_init(&control->ldctl_value));
    berval name{0, nullptr};
    if (!ber || ber_scanf(ber.get(), "{m{", &name) == LBER_ERROR) return {};
    while (ber_scanf(ber.get(), "{m", &name) != LBER_ERROR) {
        BerVarray raw = nullptr;
        if (ber_scanf(ber.get(), "[W]", &raw) == LBER_ERROR) return {};
        const detail::OwnedBerVarray values(raw);
        if (equalsIgnoringCase(std::string_view(name.bv_val, name.bv_len), kEntryCsn) && raw && raw->bv_val)
            return std::string(raw->bv_val, raw->bv_len);
    }
    return {};
}

using AddedAttributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

// True when the entry at `dn` holds what an add sent: every value, and no
// other value beside them (objectClass aside, where the server may add more).
// False when that cannot be read: the add's own outcome then stands.
bool holdsWhatWasAdded(Connection& connection, const std::string& dn, const AddedAttributes& attributes,
                       const detail::ServerInfo& info, const AdsPath& server) {
    std::vector<std::string> names;
    for (const auto& attribute : attributes) names.push_back(attribute.first);
    std::optional<detail::Entry> entry;
    try {
        entry = detail::readBase(connection, dn, "(objectClass=*)", names, info, server);
    } catch (const Error&) {
        return false;
    }
    if (!entry) return false;
    return std::all_of(attributes.begin(), attributes.end(), [&](const auto& attribute) {
        const auto& [name, sent] = attribute;
        const detail::Attribute* stored = entry->find(info.keyOf(name));
        if (sent.empty()) return stored == nullptr || stored->values.empty();
        if (!stored || (stored->values.size() != sent.size() && info.keyOf(name) != info.keyOf("objectClass")))
            return false;
        return std::all_of(sent.begin(), sent.end(), [&](const std::string& v) { return holdsValue(stored->values, v); });
    });
}

void checkRelativeName(std::string_view relativeName) {
    auto avas = rdnValues(relativeName);
    bool valid = !avas.empty() && firstRdn(relativeName) == relativeName &&
                 std::none_of(avas.begin(), avas.end(), [](const Ava& a) { return a.attribute.empty(); });
    if (!valid)
        throw Error(err::BadPathname, "An invalid directory pathname was passed: \"" + std::string(relativeName) +
                                          "\" is not a relative name");
}

std::string childDn(std::string_view relativeName, const std::string& parent) {
    return parent.empty() ? std::string(relativeName) : std::string(relativeName) + "," + parent;
}

std::string classFilter(std::string_view className) {
    return "(objectClass=" + escapeFilterValue(className) + ")";
}

}  // namespace

BoundObject::BoundObject(Private, AdsPath server, Credentials credentials,
                         std::shared_ptr<const detail::ServerInfo> info, std::string dn, std::string adsPath)
    : server_(std::move(server)),
      credentials_(std::move(credentials)),
      info_(std::move(info)),
      dn_(std::move(dn)),
      adsPath_(std::move(adsPath)) {
    keepSyntheticAttributes();
}

std::shared_ptr<BoundObject> BoundObject::bind(std::string_view adsPath, const Credentials& credentials,
                                               const std::vector<std::string>& names, bool onlyKnown) {
    AdsPath server = parseAdsPath(adsPath);
    std::string dn = server.dn;
    return onObject(server, credentials, dn, [&](Connection& connection) {
        std::optional<detail::Entry> root;
        auto info = detail::serverInfo(connection, &root);
        dn = targetDn(server, *info);
        if (server.target == AdsTarget::RootDse && root) {
            // Just read whole with the server's information: no need to ask again.
            auto object = std::make_shared<BoundObject>(Private{}, server, credentials, info, dn, std::string(adsPath));
            object->fill(*root, {}, true);
            object->keepSyntheticAttributes();  // its ADsPath names this server
            return object;
        }
        auto object = std::make_shared<BoundObject>(Private{}, server, credentials, info, dn, std::string(adsPath));
        std::vector<std::string> wanted = names;
        if (onlyKnown) {
            std::erase_if(wanted, [&](const std::string& name) { return !object->loadable({name}); });
            for (const auto& name : names)
                if (!object->loadable({name})) object->loaded_.insert(info->keyOf(name));
        }
        const bool preload = !wanted.empty() && object->loadable(wanted);
        const std::vector<std::string> request = preload ? wanted : std::vector<std::string>{"objectClass"};
        auto entry = detail::readBase(connection, dn, "(objectClass=*)", request, *info, server);
        if (!entry) throw Error(err::NoSuchObject, "There is no such object on the server: " + std::string(adsPath));
        // The DN as the server writes it, like every DN the program reads from it.
        object->dn_ = entry->dn;
        object->keepSyntheticAttributes();
        object->fill(*entry, request, false);
        return object;
    });
}

std::shared_ptr<BoundObject> BoundObject::attach(std::string_view adsPath, const Credentials& credentials) {
    AdsPath server = parseAdsPath(adsPath);
    std::string dn = server.dn;
    return onObject(server, credentials, dn, [&](Connection& connection) {
        auto info = detail::serverInfo(connection);
        dn = targetDn(server, *info);
        return std::make_shared<BoundObject>(Private{}, server, credentials, info, dn, std::string(adsPath));
    });
}

std::string BoundObject::name() const { return escapeSlashes(firstRdn(dn_)); }

void BoundObject::keepSyntheticAttributes() {
    cache_[detail::kDistinguishedNameKey] = {dn_};
    cache_[detail::kAdsPathKey] = {server_.pathOf(dn_)};
    loaded_.insert(detail::kDistinguishedNameKey);
    loaded_.insert(detail::kAdsPathKey);
}

bool BoundObject::loadable(const std::vector<std::string>& names) const {
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return isSynthetic(name) || (!isWildcard(name) && info_->knows(name)); });
}

bool BoundObject::hasLoaded(const std::vector<std::string>& names) const {
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return loaded_.count(info_->keyOf(name)) > 0; });
}

void BoundObject::getInfoEx(const std::vector<std::string>& names) {
    for (const auto& name : names)
        if (!isSynthetic(name) && !isWildcard(name) && !info_->knows(name))
            throw Error(err::NoSuchAttribute,
                        "The specified directory service attribute or value does not exist: " + name);
    load(names, false);
}

void BoundObject::getInfo() { load({}, true); }

void BoundObject::load(std::vector<std::string> names, bool everything) {
    if (isNew_) return;  // nothing of it is in the directory yet
    if (everything) {
        names.emplace_back("*");
        if (dn_.empty()) names.emplace_back("+");  // the root entry's attributes are operational
    }
    auto entry = onObject(server_, credentials_, dn_, [&](Connection& connection) {
        return detail::readBase(connection, dn_, "(objectClass=*)", names, *info_, server_);
    });
    if (!entry) throw Error(err::NoSuchObject, "There is no such object on the server: " + adsPath_);
    fill(*entry, names, everything);
}

// Takes what a read of `names` (or of everything) returned into the cache;
// the values move out of `entry`.
void BoundObject::fill(detail::Entry& entry, const std::vector<std::string>& names, bool everything) {
    if (everything) {
        cache_.clear();
        loaded_.clear();
        loadedAll_ = true;
    }
    for (const auto& name : names) {
        if (isWildcard(name)) continue;
        cache_.erase(info_->keyOf(name));
        loaded_.insert(info_->keyOf(name));
    }
    for (auto& attribute : entry.attributes) cache_[attribute.key] = std::move(attribute.values);
}

const std::vector<std::string>* BoundObject::cachedOrLoaded(std::string_view name) {
    std::string key = info_->keyOf(name);
    if (!cache_.count(key) && !loaded_.count(key) && !isNew_) {
        // Not asked for yet: the whole object (once), and this name in any case.
        if (loadedAll_)
            load({std::string(name)}, false);
        else
            load({std::string(name)}, true);
    }
    auto it = cache_.find(key);
    return it == cache_.end() || it->second.empty() ? nullptr : &it->second;
}

std::string BoundObject::get(std::string_view name) { return getEx(name).front(); }

std::vector<std::string> BoundObject::getEx(std::string_view name) {
    const auto* values = cachedOrLoaded(name);
    if (!values)
        throw Error(err::PropertyNotFound,
                    "The directory property cannot be found in the cache: " + std::string(name));
    return *values;
}

void BoundObject::put(std::string_view name, std::string_view text) {
    if (text.empty())
        stage(PutExCode::Clear, name, {});
    else
        stage(PutExCode::Update, name, {std::string(text)});
}

void BoundObject::putBoolean(std::string_view name, bool value) {
    stage(PutExCode::Update, name, {value ? "TRUE" : "FALSE"});
}

void BoundObject::putInteger(std::string_view name, std::int16_t value) {
    stage(PutExCode::Update, name, {std::to_string(value)});
}

void BoundObject::putEx(PutExCode code, std::string_view name, const std::vector<std::string>& values) {
    stage(code, name, code == PutExCode::Clear ? std::vector<std::string>{} : values);
}

bool BoundObject::knowsClass(std::string_view name) const { return info_->knowsClass(name); }

std::vector<std::string> BoundObject::classes() {
    if (isNew_) return {newClass_};
    const std::string key = info_->keyOf("objectClass");
    if (!loaded_.count(key)) load({"objectClass"}, false);
    auto it = cache_.find(key);
    return it == cache_.end() ? std::vector<std::string>{} : it->second;
}

bool BoundObject::mayHold(std::string_view attribute) {
    return info_->knows(attribute) && info_->allows(classes(), attribute);
}

bool BoundObject::mustHold(std::string_view attribute) { return info_->needs(classes(), attribute); }

bool BoundObject::mustHold(std::string_view attribute, const std::vector<std::string>& classes) const {
    return info_->needs(classes, attribute);
}

bool BoundObject::compare(std::string_view name, const std::string& value) {
    const std::string attribute(name);
    return onObject(server_, credentials_, dn_, [&](Connection& connection) {
        berval asserted = detail::bervalOf(value);
        int msgid = 0;
        int rc = ldap_compare_ext(connection.get(), dn_.c_str(), attribute.c_str(), &asserted, nullptr, nullptr, &msgid);
        if (rc != LDAP_SUCCESS) connection.fail(rc);
        detail::Message result = connection.await(msgid, false);
        int code = LDAP_OTHER;
        if (ldap_parse_result(connection.get(), result.get(), &code, nullptr, nullptr, nullptr, nullptr, 0) ==
                LDAP_SUCCESS &&
            (code == LDAP_COMPARE_TRUE || code == LDAP_COMPARE_FALSE || code == LDAP_NO_SUCH_ATTRIBUTE))
            return code == LDAP_COMPARE_TRUE;
        connection.check(result.get());  // raises the outcome
        return false;
    });
}

void BoundObject::putChange(std::string_view name, const std::vector<std::string>& removed,
                            const std::vector<std::string>& added) {
    const auto gone = distinctValues(removed);
    stage(PutExCode::Append, name, gone, true);
    stage(PutExCode::Delete, name, gone);
    stage(PutExCode::Append, name, distinctValues(added));
    permissive_ = true;
}

void BoundObject::stage(PutExCode code, std::string_view name, std::vector<std::string> values, bool addBack) {
    std::string key = info_->keyOf(name);
    values = withoutEmptyValues(std::move(values));
    if (info_->isBoolean(key))
        for (auto& v : values) v = writableBoolean(v);
    if (code == PutExCode::Update && values.empty()) code = PutExCode::Clear;
    if ((code == PutExCode::Append || code == PutExCode::Delete) && values.empty()) return;
    changes_.push_back({code, std::string(name), values, addBack});
    // The cache shows the staged values until setInfo has written them.
    std::vector<std::string> shown;
    for (const auto& v : values) shown.push_back(info_->isBoolean(key) ? readableBoolean(v) : v);
    if (code == PutExCode::Clear || code == PutExCode::Update) {
        cache_[key] = shown;
        loaded_.insert(key);
    } else {
        cache_.erase(key);
        loaded_.erase(key);
    }
}

void BoundObject::setInfo() {
    writtenCsn_.clear();
    if (isNew_)
        addToDirectory();
    else
        modifyInDirectory();
    for (const auto& change : changes_) {
        cache_.erase(info_->keyOf(change.name));
        loaded_.erase(info_->keyOf(change.name));
    }
    changes_.clear();
    permissive_ = false;
    isNew_ = false;
    loadedAll_ = false;
    keepSyntheticAttributes();
}

namespace {

// A modify made conditional on the entry's entryCSN being `csn` (nothing
// when it is empty): the Assertion control's value in `control` where the
// server checks it (the value's memory is returned), else the entryCSN of
// the entry at `dn` read and compared now.
detail::LdapText conditionOn(Connection& connection, LDAPControl& control, const std::string& csn,
                             const detail::ServerInfo& info, const std::string& dn, const AdsPath& server) {
    if (csn.empty()) return nullptr;
    const auto& listed = info.supportedControls;
    if (std::find(listed.begin(), listed.end(), LDAP_CONTROL_ASSERT) != listed.end()) {
        const std::string filter = "(entryCSN=" + escapeFilterValue(csn) + ")";
        int rc = ldap_create_assertion_control_value(connection.get(), const_cast<char*>(filter.c_str()),
                                                     &control.ldctl_value);
        if (rc != LDAP_SUCCESS) connection.fail(rc);
        return detail::LdapText(control.ldctl_value.bv_val);
    }
    auto entry = detail::readBase(connection, dn, "(objectClass=*)", {"entryCSN"}, info, server);
    const detail::Attribute* now = entry ? entry->find(info.keyOf("entryCSN")) : nullptr;
    if (!now || now->values.empty() || now->values.front() != csn)
        throw detail::LdapFailure(LDAP_ASSERTION_FAILED,
                                  Error(err::AssertionFailed, "The entry changed since it was read: " + dn));
    return nullptr;
}

}  // namespace

void BoundObject::modifyInDirectory() {
    if (changes_.empty()) return;
    // The staged changes as one modify; with the add-backs of a change only when `addBacks`.
    auto modifications = [&](ModList& mods, bool addBacks) {
        auto rdn = rdnValues(firstRdn(dn_));
        for (const auto& change : changes_) {
            if (change.addBack && !addBacks) continue;
            std::vector<std::string> values = change.values;
            int op = change.code == PutExCode::Append ? LDAP_MOD_ADD
                     : change.code == PutExCode::Delete ? LDAP_MOD_DELETE
                                                        : LDAP_MOD_REPLACE;
            if (op == LDAP_MOD_REPLACE)
                for (const auto& ava : rdn)
                    if (info_->keyOf(ava.attribute) == info_->keyOf(change.name) && !holdsValue(values, ava.value))
                        values.push_back(ava.value);
            mods.add(op, change.name, values);
        }
    };
    // Critical: a server that cannot honour it must refuse the change rather
    // than apply it in a way that a second send would not repeat.
    LDAPControl permissive{const_cast<char*>(LDAP_CONTROL_X_PERMISSIVE_MODIFY), {0, nullptr}, 1};
    std::optional<PostReadControl> postRead;
    if (readCsn_) postRead.emplace();
    detail::Controls answer;
    int sends = 0;
    onObject(server_, credentials_, dn_, [&](Connection& connection) {
        // The first send is the plain change, which replicas replay as it stands (an add-back
        // of a value they hold, replayed without the control, would fail and make them fetch
        // the whole list); a second one follows only a lost answer and adds the removed values back.
        const bool again = sends++ > 0;
        LDAPControl assertion{const_cast<char*>(LDAP_CONTROL_ASSERT), {0, nullptr}, 1};
        const detail::LdapText assertionValue = conditionOn(connection, assertion, assertCsn_, *info_, dn_, server_);
        LDAPControl* controls[] = {&permissive, nullptr, nullptr, nullptr};
        LDAPControl** more = controls + 1;
        if (postRead) *more++ = postRead->get();
        if (assertionValue) *more++ = &assertion;
        LDAPControl** plainControls = controls[1] ? controls + 1 : nullptr;
        // One modify of the staged changes (with their add-backs when `addBacks`) under `sent`.
        auto send = [&](bool addBacks, LDAPControl** sent) {
            ModList mods;
            modifications(mods, addBacks);
            write(
                connection,
                [&](LDAP* ld, int* msgid) { return ldap_modify_ext(ld, dn_.c_str(), mods.get(), sent, nullptr, msgid); },
                &answer);
            writtenCsn_ = postReadCsn(answer.get());
        };
        if (permissive_ && !info_->refusesPermissiveModify) {
            try {
                return send(again, controls);
            } catch (const LdapFailure& failure) {
                if (failure.code() != LDAP_UNAVAILABLE_CRITICAL_EXTENSION) throw;
                info_->refusesPermissiveModify = true;  // nothing was applied: the plain change follows
            }
        }
        send(false, plainControls);
    });
}

void BoundObject::addToDirectory() {
    // The staged changes folded into the attributes of the new entry, in the order first given.
    AddedAttributes attributes;
    auto slot = [&](const std::string& name) -> std::vector<std::string>& {
        for (auto& [n, v] : attributes)
            if (info_->keyOf(n) == info_->keyOf(name)) return v;
        return attributes.emplace_back(name, std::vector<std::string>{}).second;
    };
    slot("objectClass") = {newClass_};
    for (const auto& change : changes_) {
        auto& values = slot(change.name);
        if (change.code == PutExCode::Clear || change.code == PutExCode::Update) values = change.values;
        if (change.code == PutExCode::Append) values.insert(values.end(), change.values.begin(), change.values.end());
        if (change.code == PutExCode::Delete)
            for (const auto& v : change.values) values.erase(std::remove(values.begin(), values.end(), v), values.end());
    }
    for (const auto& ava : rdnValues(firstRdn(dn_))) {
        auto& values = slot(ava.attribute);
        if (!holdsValue(values, ava.value)) values.push_back(ava.value);
    }
    ModList mods;
    for (const auto& [name, values] : attributes)
        if (!values.empty()) mods.add(LDAP_MOD_ADD, name, values);
    int attempts = 0;
    onObject(server_, credentials_, dn_, [&](Connection& connection) {
        // A second attempt follows only a reused connection found dropped: the
        // first add may have been applied with just its answer lost. The entry
        // then exists as sent, and that is the add's success.
        const bool retry = attempts++ > 0;
        try {
            write(connection, [&](LDAP* ld, int* msgid) {
                return ldap_add_ext(ld, dn_.c_str(), mods.get(), nullptr, nullptr, msgid);
            });
        } catch (const LdapFailure& failure) {
            if (!retry || failure.code() != LDAP_ALREADY_EXISTS ||
                !holdsWhatWasAdded(connection, dn_, attributes, *info_, server_))
                throw;
        }
    });
}

std::shared_ptr<BoundObject> BoundObject::create(std::string_view className, std::string_view relativeName) {
    checkRelativeName(relativeName);
    std::string dn = childDn(relativeName, dn_);
    auto child = std::make_shared<BoundObject>(Private{}, server_, credentials_, info_, dn, server_.pathOf(dn));
    child->isNew_ = true;
    child->newClass_ = std::string(className);
    return child;
}

void BoundObject::deleteChild(std::string_view className, std::string_view relativeName) {
    checkRelativeName(relativeName);
    std::string dn = childDn(relativeName, dn_);
    int attempts = 0;
    onObject(server_, credentials_, dn, [&](Connection& connection) {
        // A second attempt follows only a reused connection found dropped: the
        // first delete may have been applied with just its answer lost, and
        // an object that is gone is what was asked for.
        const bool retry = attempts++ > 0;
        try {
            if (!detail::readBase(connection, dn, classFilter(className), {LDAP_NO_ATTRS}, *info_, server_))
                throw Error(err::NoSuchObject, "There is no object of class " + std::string(className) + " named " + dn);
            write(connection,
                  [&](LDAP* ld, int* msgid) { return ldap_delete_ext(ld, dn.c_str(), nullptr, nullptr, msgid); });
        } catch (const LdapFailure& failure) {
            if (!retry || failure.code() != LDAP_NO_SUCH_OBJECT) throw;
        }
    });
}

ChildEnumerator BoundObject::children(std::string_view className, std::vector<std::string> attributes) {
    return ChildEnumerator(server_, credentials_, dn_, std::string(className), std::move(attributes));
}

ChildEnumerator::ChildEnumerator(AdsPath server, Credentials credentials, std::string base, std::string className,
                                 std::vector<std::string> attributes)
    : server_(std::move(server)), credentials_(std::move(credentials)), attributes_(std::move(attributes)) {
    detail::SearchRequest request;
    request.base = std::move(base);
    request.scope = LDAP_SCOPE_ONELEVEL;
    request.filter = classFilter(className);
    request.attributes = attributes_;
    search_ = std::make_unique<detail::PagedSearch>(server_, credentials_, std::move(request));
}

ChildEnumerator::~ChildEnumerator() = default;
ChildEnumerator::ChildEnumerator(ChildEnumerator&&) noexcept = default;
ChildEnumerator& ChildEnumerator::operator=(ChildEnumerator&&) noexcept = default;

std::shared_ptr<BoundObject> ChildEnumerator::next() {
    detail::Entry entry;
    if (!search_ || !search_->next(entry)) return nullptr;
    const auto& info = search_->info();
    auto child = std::make_shared<BoundObject>(BoundObject::Private{}, server_, credentials_, info, entry.dn,
                                               server_.pathOf(entry.dn));
    for (const auto& name : attributes_)
        if (!isWildcard(name)) child->loaded_.insert(info->keyOf(name));
    for (const auto& attribute : entry.attributes) child->cache_[attribute.key] = attribute.values;
    return child;
}

}  // namespace qv::platform
