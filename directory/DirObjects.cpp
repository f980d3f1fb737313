#include "directory/DirObjects.h"

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace qv {

std::shared_ptr<DirectoryObject> DirObjects::Add(std::string strADsPath, std::string strDisplayName,
                                                 std::string strObjectClass, std::string strDistinguishedName,
                                                 std::string strObjectContainer, std::string strMail,
                                                 std::string strUid, std::string strRdn,
                                                 std::shared_ptr<clsExchangeStore> objExchangeStore) {
    auto object = std::make_shared<DirectoryObject>();
    object->Instantiate(std::move(strADsPath), std::move(strDisplayName), std::move(strObjectClass),
                        std::move(strDistinguishedName), std::move(strObjectContainer), std::move(strMail),
                        std::move(strUid), std::move(strRdn), std::move(objExchangeStore));
    items_.push_back(object);
    return object;
}

std::size_t DirObjects::position(long vntIndexKey) const {
    if (vntIndexKey < 1 || vntIndexKey > Count())
        throw Error(err::SubscriptOutOfRange, "Subscript out of range: item " + std::to_string(vntIndexKey) + " of " +
                                                  std::to_string(Count()));
    return static_cast<std::size_t>(vntIndexKey - 1);
}

std::shared_ptr<DirectoryObject> DirObjects::Item(long vntIndexKey) const { return items_[position(vntIndexKey)]; }

void DirObjects::Remove(long vntIndexKey) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position(vntIndexKey)));
}

}  // namespace qv
