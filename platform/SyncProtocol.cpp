#include "platform/SyncProtocol.h"

#include <cstring>

#include "platform/DirectoryErrors.h"
#include "platform/LdapEntry.h"

namespace qv::platform::detail {
namespace {

struct BervalDeleter {
    void operator()(berval* value) const noexcept { ber_bvfree(value); }
};
struct BerArrayOwner {
    void operator()(BerVarray values) const noexcept { ber_bvarray_free(values); }
};

[[noreturn]] void unreadable(const std::string& what) {
    throw LdapFailure(LDAP_DECODING_ERROR, directoryError(LDAP_DECODING_ERROR, what + " that cannot be read"));
}

// A reader over a control's or message's value.
OwnedBer readerOf(berval& value, const char* what) {
    OwnedBer ber(ber_init(&value));
    if (!ber) unreadable(what);
    return ber;
}

// An optional BOOLEAN at the reader's position; `fallback` when it is left out.
bool optionalFlag(BerElement* ber, bool fallback, const char* what) {
    ber_len_t length = 0;
    if (ber_peek_tag(ber, &length) != LBER_BOOLEAN) return fallback;
    ber_int_t flag = 0;
    if (ber_scanf(ber, "b", &flag) == LBER_ERROR) unreadable(what);
    return flag != 0;
}

}  // namespace

SyncRequestControl::SyncRequestControl(int mode, const std::string& cookie) : ber_(ber_alloc_t(LBER_USE_DER)) {
    if (!ber_) throw LdapFailure(LDAP_NO_MEMORY, directoryError(LDAP_NO_MEMORY));
    berval value = bervalOf(cookie);
    int rc = ber_printf(ber_.get(), "{e", static_cast<ber_int_t>(mode));
    if (rc != -1 && !cookie.empty()) rc = ber_printf(ber_.get(), "O", &value);
    if (rc != -1) rc = ber_printf(ber_.get(), "N}");
    berval flat{0, nullptr};
    if (rc == -1 || ber_flatten2(ber_.get(), &flat, 0) == -1)
        throw LdapFailure(LDAP_ENCODING_ERROR, directoryError(LDAP_ENCODING_ERROR, "the Sync Request control"));
    control_.ldctl_oid = const_cast<char*>(LDAP_CONTROL_SYNC);
    control_.ldctl_value = flat;
    control_.ldctl_iscritical = 1;
}

std::string uuidText(const berval& octets) {
    if (octets.bv_len != 16) return {};
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (ber_len_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        const auto byte = static_cast<unsigned char>(octets.bv_val[i]);
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

void SyncReader::takeCookie(BerElement* ber) {
    ber_len_t length = 0;
    if (ber_peek_tag(ber, &length) != LDAP_TAG_SYNC_COOKIE) return;
    berval cookie{0, nullptr};
    if (ber_scanf(ber, "m", &cookie) == LBER_ERROR) unreadable("a sync cookie");
    if (cookie.bv_len > 0) update_.cookie.assign(cookie.bv_val, cookie.bv_len);
}

void SyncReader::entry(LDAP* ld, LDAPMessage* message) {
    LDAPControl** raw = nullptr;
    if (ldap_get_entry_controls(ld, message, &raw) != LDAP_SUCCESS) unreadable("a sync search entry");
    Controls controls(raw);
    LDAPControl* state = ldap_control_find(LDAP_CONTROL_SYNC_STATE, controls.get(), nullptr);
    if (!state) unreadable("a sync search entry without its Sync State control,");
    OwnedBer ber = readerOf(state->ldctl_value, "a Sync State control");
    ber_int_t code = -1;
    berval uuid{0, nullptr};
    if (ber_scanf(ber.get(), "{em", &code, &uuid) == LBER_ERROR || code < LDAP_SYNC_PRESENT || code > LDAP_SYNC_DELETE)
        unreadable("a Sync State control");
    SyncEntry out{static_cast<SyncEntry::State>(code), uuidText(uuid), readDn(ld, message)};
    if (out.uuid.empty()) unreadable("a Sync State control (its entryUUID is not 16 octets)");
    takeCookie(ber.get());
    update_.entries.push_back(std::move(out));
    pending_ = true;
}

void SyncReader::info(LDAP* ld, LDAPMessage* message) {
    char* rawName = nullptr;
    berval* rawValue = nullptr;
    if (ldap_parse_intermediate(ld, message, &rawName, &rawValue, nullptr, 0) != LDAP_SUCCESS)
        unreadable("an intermediate message");
    const LdapText name(rawName);
    const std::unique_ptr<berval, BervalDeleter> value(rawValue);
    if (!name || std::strcmp(name.get(), LDAP_SYNC_INFO) != 0) return;
    if (!value) unreadable("a Sync Info message");
    OwnedBer ber = readerOf(*value, "a Sync Info message");
    ber_len_t length = 0;
    const ber_tag_t tag = ber_peek_tag(ber.get(), &length);
    if (tag == LDAP_TAG_SYNC_NEW_COOKIE) {
        berval cookie{0, nullptr};
        if (ber_scanf(ber.get(), "m", &cookie) == LBER_ERROR) unreadable("a Sync Info message");
        if (cookie.bv_len > 0) update_.cookie.assign(cookie.bv_val, cookie.bv_len);
    } else if (tag == LDAP_TAG_SYNC_REFRESH_DELETE || tag == LDAP_TAG_SYNC_REFRESH_PRESENT) {
        if (ber_scanf(ber.get(), "{") == LBER_ERROR) unreadable("a Sync Info message");
        takeCookie(ber.get());
        const bool done = optionalFlag(ber.get(), true, "a Sync Info message");
        // A present phase ran: every entry still in the result has been named.
        if (tag == LDAP_TAG_SYNC_REFRESH_PRESENT) update_.wholeSet = true;
        if (done) update_.refreshDone = true;
    } else if (tag == LDAP_TAG_SYNC_ID_SET) {
        if (ber_scanf(ber.get(), "{") == LBER_ERROR) unreadable("a Sync Info message");
        takeCookie(ber.get());
        const bool deletes = optionalFlag(ber.get(), false, "a Sync Info message");
        BerVarray raw = nullptr;
        if (ber_scanf(ber.get(), "[W]", &raw) == LBER_ERROR) unreadable("a Sync Info message");
        const std::unique_ptr<berval, BerArrayOwner> uuids(raw);
        for (BerVarray u = raw; u && u->bv_val; ++u) {
            std::string uuid = uuidText(*u);
            if (uuid.empty()) unreadable("a Sync Info message (an entryUUID is not 16 octets)");
            // Without refreshDeletes the set names entries that are still there, unchanged.
            if (deletes)
                update_.deleted.push_back(std::move(uuid));
            else
                update_.entries.push_back({SyncEntry::State::Present, std::move(uuid), {}});
        }
    } else {
        unreadable("a Sync Info message");
    }
    pending_ = true;
}

void SyncReader::done(LDAPControl** controls) {
    LDAPControl* control = ldap_control_find(LDAP_CONTROL_SYNC_DONE, controls, nullptr);
    if (!control) unreadable("a sync search result without its Sync Done control,");
    update_.refreshDone = true;
    pending_ = true;
    if (control->ldctl_value.bv_len == 0) {  // every field at its default
        update_.wholeSet = true;
        return;
    }
    OwnedBer ber = readerOf(control->ldctl_value, "a Sync Done control");
    if (ber_scanf(ber.get(), "{") == LBER_ERROR) unreadable("a Sync Done control");
    takeCookie(ber.get());
    // refreshDeletes FALSE: the refresh ran a present phase.
    if (!optionalFlag(ber.get(), false, "a Sync Done control")) update_.wholeSet = true;
}

SyncUpdate SyncReader::take() {
    SyncUpdate out = std::move(update_);
    update_ = SyncUpdate{};
    update_.refreshDone = out.refreshDone;
    pending_ = false;
    return out;
}

}  // namespace qv::platform::detail
