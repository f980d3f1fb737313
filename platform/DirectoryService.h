#pragma once
// The directory service: objects bound by address, each with a property cache
// that is filled from the server and written back in one request.
//
// Values follow the program's rules: attribute names without regard to case;
// "distinguishedName" and "ADsPath" always present; "objectClass" with the
// structural class first; Boolean attributes read "True"/"False". Reading an
// attribute the object lacks raises err::PropertyNotFound. Failures raise
// qv::Error with the numbers of platform/ErrorNumbers.h.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AdsPath.h"
#include "platform/DirectoryCredentials.h"
#include "platform/Error.h"

namespace qv::platform {

namespace detail {
class PagedSearch;
class ServerInfo;
struct Entry;
}  // namespace detail

// How long the directory service waits, in seconds: for a connection
// (LDAP_OPT_NETWORK_TIMEOUT) and for any answer (LDAP_OPT_TIMEOUT). 10 and
// 60 unless ldap.conf sets NETWORK_TIMEOUT or TIMEOUT; the environment
// variables QUORVEL_LDAP_NETWORK_TIMEOUT and QUORVEL_LDAP_TIMEOUT override both.
struct DirectoryTimeouts {
    double network;
    double operation;
};
DirectoryTimeouts directoryTimeouts();
// What is wrong with the timeouts the environment sets (naming the variable
// and its value); empty when both are unset, empty or a number of seconds
// above 0 and below 1,000,000.
std::string directoryTimeoutsProblem();

// While one lives, the directory work of this thread keeps to one server per
// address that names several: to the server that first answered for the
// address in the scope. When that server fails the work fails with it rather
// than going on at the next server, whose copy may not hold yet what the
// first one answered. A DL is read, searched and written under one, so that
// it is never read from one server and written to another; a server that
// fails before it answered anything is passed over as ever.
class SameServer {
public:
    SameServer();
    ~SameServer();
    SameServer(const SameServer&) = delete;
    SameServer& operator=(const SameServer&) = delete;
};

// The server ("ldap://host:port") that answers for `adsPath` with
// `credentials` when the address names several servers; "" when it names one,
// or before one has answered.
std::string answeringServer(std::string_view adsPath, const Credentials& credentials);

// What putEx does with the attribute.
enum class PutExCode {
    Clear = 1,   // remove every value (also when there is none)
    Update = 2,  // replace every value by the given ones
    Append = 3,  // add the given values
    Delete = 4,  // remove the given values
};

class ChildEnumerator;

class BoundObject {
    struct Private {};

public:
    // Binds to the object `adsPath` names, with `credentials`, and checks that
    // it exists. "LDAP://host" alone names the server's default naming context.
    // The request that checks it also loads `names` into the cache (as
    // getInfoEx would) when the directory knows every one of them; see hasLoaded.
    // With `onlyKnown`, the names the directory does not know are left out of
    // that request and read as attributes without a value.
    static std::shared_ptr<BoundObject> bind(std::string_view adsPath, const Credentials& credentials,
                                             const std::vector<std::string>& names = {}, bool onlyKnown = false);
    // Binds without asking the server anything about the object (only a new
    // connection is opened and bound when there is none): whether it exists
    // shows at its first read or write, as err::NoSuchObject. For writes,
    // which need no read first.
    static std::shared_ptr<BoundObject> attach(std::string_view adsPath, const Credentials& credentials);

    BoundObject(Private, AdsPath server, Credentials credentials, std::shared_ptr<const detail::ServerInfo> info,
                std::string dn, std::string adsPath);

    // The address the object was bound with.
    const std::string& adsPath() const { return adsPath_; }
    const std::string& distinguishedName() const { return dn_; }
    // The object's RDN as written in an address ("cn=Recipients", a "/" as "\/").
    std::string name() const;

    // True when every one of `names` has been loaded from the server and is
    // still in the cache (values or the knowledge that there are none).
    bool hasLoaded(const std::vector<std::string>& names) const;
    // Loads the named attributes into the cache with one base search. Raises
    // err::NoSuchAttribute (and loads nothing) for a name the directory does not know.
    void getInfoEx(const std::vector<std::string>& names);
    // Loads every user attribute into the cache.
    void getInfo();
    // The first value; a name the cache has not loaded loads the whole object first.
    std::string get(std::string_view name);
    // All values.
    std::vector<std::string> getEx(std::string_view name);

    // What the server's schema says: whether it defines an object class
    // (true for every name where it does not show its schema), and whether
    // this object's classes allow or require an attribute (a new object's
    // class; an existing object's objectClass values, read once).
    bool knowsClass(std::string_view name) const;
    bool mayHold(std::string_view attribute);
    bool mustHold(std::string_view attribute);
    // Whether an entry of `classes` must hold the attribute.
    bool mustHold(std::string_view attribute, const std::vector<std::string>& classes) const;

    // Staged changes, sent by setInfo. An empty text leaves the attribute without a value.
    void put(std::string_view name, std::string_view text);
    void putBoolean(std::string_view name, bool value);    // TRUE or FALSE
    void putInteger(std::string_view name, std::int16_t value);  // its decimal text
    void putEx(PutExCode code, std::string_view name, const std::vector<std::string>& values);
    // Stages the change of a multi-valued attribute from the values `removed`
    // to the values `added` as one modify. It goes under the Permissive Modify
    // control, marked critical, as the plain change: the removed values
    // deleted, the added ones added, which is what replicas replay
    // (delta-syncrepl replays it without the control). A second send (after a
    // lost answer) first adds the removed values back (skipped where they are
    // still there), so that their delete always finds them and it leaves the
    // same values whether or not the first send was applied; a delete of a
    // value already gone is not relied on, as some servers refuse it even
    // under the control. A server that refuses the control
    // (unavailableCriticalExtension) is sent the plain change without it, at
    // once and for the rest of the run. A value that is not as expected
    // (noSuchAttribute, typeOrValueExists) fails the change, and nothing of it
    // is applied.
    void putChange(std::string_view name, const std::vector<std::string>& removed,
                   const std::vector<std::string>& added);
    // Whether the entry holds `value` in `name` (an LDAP compare): false when
    // it does not or lacks the attribute; raises qv::Error for any other
    // outcome, err::AccessDenied when the account may not compare it.
    bool compare(std::string_view name, const std::string& value);
    // Sends every staged change in one modify request, or the whole new object
    // in one add request. The value of the object's RDN always stays in the
    // entry: a change of the naming attribute that lacks it keeps it as a
    // further value after the given ones.
    void setInfo();
    // Asks every modify setInfo sends to return the entry's entryCSN as the
    // modify left it (the Post-Read control, not critical: a server without
    // it applies the modify and does not say); see writtenCsn.
    void readCsnAfterWrite(bool ask) { readCsn_ = ask; }
    // Makes the next modify conditional on the entry's entryCSN still being
    // `csn` (empty: unconditional): a server that lists the Assertion control
    // (RFC 4528) checks it with the write, any other is asked first. Either
    // way a changed entry fails the write with err::AssertionFailed.
    void writeOnlyIfCsn(std::string csn) { assertCsn_ = std::move(csn); }
    // The entryCSN the last setInfo's modify left; empty when not asked, when
    // nothing was sent, or when the server did not say.
    const std::string& writtenCsn() const { return writtenCsn_; }

    // A new child, not yet in the directory, of `className` named
    // `relativeName` (an RDN such as "cn=dl1", escaped as in a DN); setInfo adds it.
    std::shared_ptr<BoundObject> create(std::string_view className, std::string_view relativeName);
    // Deletes the child named `relativeName` when it is of `className`.
    void deleteChild(std::string_view className, std::string_view relativeName);
    // The children of `className` (one level down), read forward, paged. Each
    // child's cache holds `attributes` (ask only for what is needed); reading
    // another name loads it from the server.
    ChildEnumerator children(std::string_view className, std::vector<std::string> attributes);

private:
    friend class ChildEnumerator;
    struct Change {
        PutExCode code;
        std::string name;
        std::vector<std::string> values;
        bool addBack = false;  // of a change: sent only again, and only under Permissive Modify
    };

    void load(std::vector<std::string> names, bool everything);
    bool loadable(const std::vector<std::string>& names) const;
    void fill(detail::Entry& entry, const std::vector<std::string>& names, bool everything);
    const std::vector<std::string>* cachedOrLoaded(std::string_view name);
    void stage(PutExCode code, std::string_view name, std::vector<std::string> values, bool addBack = false);
    void addToDirectory();
    void modifyInDirectory();
    void keepSyntheticAttributes();
    std::vector<std::string> classes();

    AdsPath server_;
    Credentials credentials_;
    std::shared_ptr<const detail::ServerInfo> info_;
    std::string dn_;
    std::string adsPath_;
    bool isNew_ = false;
    std::string newClass_;
    std::map<std::string, std::vector<std::string>> cache_;  // by detail::ServerInfo key
    std::set<std::string> loaded_;                          // keys the server was asked for
    bool loadedAll_ = false;
    std::vector<Change> changes_;
    bool permissive_ = false;  // send the staged changes under Permissive Modify
    bool readCsn_ = false;
    std::string assertCsn_;
    std::string writtenCsn_;
};

// The children of one container, read forward.
class ChildEnumerator {
public:
    ChildEnumerator(AdsPath server, Credentials credentials, std::string base, std::string className,
                    std::vector<std::string> attributes);
    ~ChildEnumerator();
    ChildEnumerator(ChildEnumerator&&) noexcept;
    ChildEnumerator& operator=(ChildEnumerator&&) noexcept;

    // The next child, or nullptr after the last. Raises qv::Error.
    std::shared_ptr<BoundObject> next();

private:
    AdsPath server_;
    Credentials credentials_;
    std::vector<std::string> attributes_;
    std::unique_ptr<detail::PagedSearch> search_;
};

}  // namespace qv::platform
