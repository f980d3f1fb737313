#pragma once
// The identity of one directory object (its address, class, names and mail
// address) with a read of several of its attributes in one call and a write
// of one attribute. It holds no bound object: every read and write binds anew
// through the store it came from, which it keeps alive.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "directory/PropertyBag.h"
#include "directory/clsErrorMessage.h"

namespace qv {

class clsExchangeStore;

class DirectoryObject {
public:
    // What SetPropertyEx writes: a text (the empty text removes the
    // attribute), a Boolean, or a list that replaces every value.
    using PropertyValue = std::variant<std::string, bool, std::vector<std::string>>;

    clsErrorMessage lastError;  // outcome of the last SetPropertyEx
    // When set, every write asks the server to return the entry's entryCSN
    // as the write left it (the Post-Read control), into WrittenCSN.
    bool ReadCSNAfterWrite = false;
    // When set, a write is only made while the entry's entryCSN is still this
    // one; otherwise it fails with err::AssertionFailed and writes nothing.
    std::string WriteOnlyIfCSN;
    // The entryCSN the last successful write left; empty when not asked or the server did not say.
    std::string WrittenCSN;
    std::shared_ptr<clsExchangeStore> objExchangeStore;
    std::string uid;                // the alias
    std::string rdn;
    std::string mail;
    std::string distinguishedName;
    std::string adsPath;            // the address used to bind the object
    std::string container;          // the container's DN (as Query fills it) or its address (for a new DL)
    std::string objectClass;        // the first (structural) class
    std::string cn;                 // the display name
    bool Instantiated = false;

    void Instantiate(std::string strADsPath, std::string strName, std::string strClass,
                     std::string strDistinguishedName, std::string strContainer, std::string strMail,
                     std::string strUid, std::string strRdn, std::shared_ptr<clsExchangeStore> objExchange);

    // The named attributes in one record: "member" as a list, every other
    // attribute as its first value, an attribute without value as "" (an
    // empty list for "member"). A name listed twice gives one field. A bind
    // failure raises qv::Error.
    PropertyBag GetPropertiesEx(const std::vector<std::string>& arrayProperties);

    // Writes one attribute and commits it at once: a list replaces all values,
    // the empty text removes the attribute, any other text or a Boolean sets
    // one value. False, with lastError filled, when the write fails; a bind
    // failure, and an object that does not exist, raise qv::Error.
    bool SetPropertyEx(const std::string& strProperty, const PropertyValue& Values);

    // Writes the change of a multi-valued attribute from its present values
    // (`removed` go, `added` come) in one modify and commits it at once, as
    // BoundObject::putChange sends it. Outcome as SetPropertyEx; a server that
    // finds a value not as expected refuses it whole (noSuchAttribute,
    // typeOrValueExists, constraintViolation).
    bool SetPropertyChangeEx(const std::string& strProperty, const std::vector<std::string>& removed,
                             const std::vector<std::string>& added);

    // True when the server's schema says an entry of this object's class
    // (objectClass, or its classes as the server holds them) must hold the attribute.
    bool MustHold(const std::string& strProperty);
    // Those of `names` that the server's schema does not let this object hold
    // (by its objectClass values, read from the server).
    std::vector<std::string> Unholdable(const std::vector<std::string>& names);
    // Whether the entry holds `value` in the attribute, asked of the server
    // (a compare, which needs no read of the values). Raises qv::Error.
    bool HoldsValue(const std::string& strProperty, const std::string& value);

private:
    // Binds, stages with `stage` and commits; the outcome as SetPropertyEx reports it.
    template <class Stage>
    bool write(Stage&& stage);
};

}  // namespace qv
