#include "directory/DirectoryObject.h"

#include "directory/clsExchangeStore.h"
#include "platform/DirectoryService.h"
#include "platform/ErrorNumbers.h"
#include "platform/Text.h"

namespace qv {
namespace {

const clsExchangeStore& storeOf(const std::shared_ptr<clsExchangeStore>& store) {
    if (!store) throw Error(err::ObjectNotSet, "The directory object has no store to bind through");
    return *store;
}

// Fills the cache with the named attributes, or with all of them when the
// directory does not know one of the names; other failures show as fields
// without a value later. A server that stopped answering is an error: empty
// fields would pass for attributes without values.
void loadCache(platform::BoundObject& object, const std::vector<std::string>& names) {
    try {
        object.getInfoEx(names);
    } catch (const Error& error) {
        if (error.number() == err::ServerDown) throw;
        if (error.number() != err::NoSuchAttribute) return;
        try {
            object.getInfo();
        } catch (const Error& again) {
            if (again.number() == err::ServerDown) throw;
        }
    }
}

PropertyBag::Value readField(platform::BoundObject& object, const std::string& name) {
    bool isList = platform::equalsIgnoringCase(name, "member");
    try {
        if (isList) return object.getEx(name);
        return object.get(name);
    } catch (const Error& error) {
        if (error.number() == err::ServerDown) throw;
        if (error.number() != err::PropertyNotFound) return std::monostate{};
        if (isList) return std::vector<std::string>{};
        return std::string();
    }
}

}  // namespace

void DirectoryObject::Instantiate(std::string strADsPath, std::string strName, std::string strClass,
                                  std::string strDistinguishedName, std::string strContainer, std::string strMail,
                                  std::string strUid, std::string strRdn,
                                  std::shared_ptr<clsExchangeStore> objExchange) {
    adsPath = std::move(strADsPath);
    cn = std::move(strName);
    objectClass = std::move(strClass);
    distinguishedName = std::move(strDistinguishedName);
    container = std::move(strContainer);
    mail = std::move(strMail);
    uid = std::move(strUid);
    rdn = std::move(strRdn);
    objExchangeStore = std::move(objExchange);
    Instantiated = true;
}

PropertyBag DirectoryObject::GetPropertiesEx(const std::vector<std::string>& arrayProperties) {
    // One request finds the object and reads the attributes, unless a name is unknown.
    auto object = storeOf(objExchangeStore).GetADSIObject(adsPath, arrayProperties);
    if (!object->hasLoaded(arrayProperties)) loadCache(*object, arrayProperties);
    PropertyBag bag;
    for (const auto& name : arrayProperties) bag.append(name);
    for (const auto& name : arrayProperties) bag.set(name, readField(*object, name));
    return bag;
}

template <class Stage>
bool DirectoryObject::write(Stage&& stage) {
    // The write itself shows whether the object exists: no read before it.
    auto object = storeOf(objExchangeStore).AttachADSIObject(adsPath);
    WrittenCSN.clear();
    object->readCsnAfterWrite(ReadCSNAfterWrite);
    object->writeOnlyIfCsn(WriteOnlyIfCSN);
    try {
        stage(*object);
        object->setInfo();
    } catch (const Error& error) {
        if (error.number() == err::NoSuchObject) throw;  // as a bind to it raises it
        lastError.SetFromError(error);
        return false;
    }
    WrittenCSN = object->writtenCsn();
    lastError.ClearProperties();
    return true;
}

bool DirectoryObject::SetPropertyEx(const std::string& strProperty, const PropertyValue& Values) {
    return write([&](platform::BoundObject& object) {
        if (const auto* list = std::get_if<std::vector<std::string>>(&Values))
            object.putEx(platform::PutExCode::Update, strProperty, *list);
        else if (const auto* flag = std::get_if<bool>(&Values))
            object.putBoolean(strProperty, *flag);
        else if (const auto& text = std::get<std::string>(Values); text.empty())
            object.putEx(platform::PutExCode::Clear, strProperty, {});
        else
            object.put(strProperty, text);
    });
}

bool DirectoryObject::SetPropertyChangeEx(const std::string& strProperty, const std::vector<std::string>& removed,
                                          const std::vector<std::string>& added) {
    return write([&](platform::BoundObject& object) { object.putChange(strProperty, removed, added); });
}

bool DirectoryObject::MustHold(const std::string& strProperty) {
    auto object = storeOf(objExchangeStore).AttachADSIObject(adsPath);
    return objectClass.empty() ? object->mustHold(strProperty) : object->mustHold(strProperty, {objectClass});
}

std::vector<std::string> DirectoryObject::Unholdable(const std::vector<std::string>& names) {
    auto object = storeOf(objExchangeStore).AttachADSIObject(adsPath);
    std::vector<std::string> out;
    for (const auto& name : names)
        if (!object->mayHold(name)) out.push_back(name);
    return out;
}

bool DirectoryObject::HoldsValue(const std::string& strProperty, const std::string& value) {
    return storeOf(objExchangeStore).AttachADSIObject(adsPath)->compare(strProperty, value);
}

}  // namespace qv
