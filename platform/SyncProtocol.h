#pragma once
// Internal to sync searches: the messages of content synchronisation (RFC
// 4533) in BER, built and read. A message that cannot be read throws
// LdapFailure with LDAP_DECODING_ERROR.
#include <lber.h>
#include <ldap.h>

#include <memory>
#include <string>

#include "platform/LdapSession.h"
#include "platform/SyncSearch.h"

namespace qv::platform::detail {

// Frees a BerElement together with the buffer it built or copied.
struct OwnedBerDeleter {
    void operator()(BerElement* ber) const noexcept { ber_free(ber, 1); }
};
using OwnedBer = std::unique_ptr<BerElement, OwnedBerDeleter>;

// The Sync Request control, critical: `mode` (LDAP_SYNC_REFRESH_ONLY or
// LDAP_SYNC_REFRESH_AND_PERSIST), the cookie when there is one, reloadHint FALSE.
class SyncRequestControl {
public:
    SyncRequestControl(int mode, const std::string& cookie);
    LDAPControl* get() { return &control_; }

private:
    OwnedBer ber_;
    LDAPControl control_{};
};

// The text form of an entryUUID's 16 octets (8-4-4-4-12 lower-case hexadecimal digits).
std::string uuidText(const berval& octets);

// What one sync search reports, gathered message by message.
class SyncReader {
public:
    // A search entry: its DN and its Sync State control.
    void entry(LDAP* ld, LDAPMessage* message);
    // An intermediate message; those that are not Sync Info are passed over.
    void info(LDAP* ld, LDAPMessage* message);
    // The Sync Done control among the search result's controls (the refresh has ended).
    void done(LDAPControl** controls);
    // True once the refresh phase has ended.
    bool refreshDone() const { return update_.refreshDone; }
    // True when something has arrived since the last take().
    bool pending() const { return pending_; }
    // What arrived since the last take(); the next one starts empty (the phase is kept).
    SyncUpdate take();

private:
    void takeCookie(BerElement* ber);
    SyncUpdate update_;
    bool pending_ = false;
};

}  // namespace qv::platform::detail
