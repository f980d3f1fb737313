#pragma once
// An ordered list of directory objects, positions counted from 1.
#include <memory>
#include <string>
#include <vector>

#include "directory/DirectoryObject.h"

namespace qv {

class DirObjects {
public:
    using Items = std::vector<std::shared_ptr<DirectoryObject>>;

    // Creates an object with these values (as Instantiate takes them), appends it and returns it.
    std::shared_ptr<DirectoryObject> Add(std::string strADsPath, std::string strDisplayName,
                                         std::string strObjectClass, std::string strDistinguishedName,
                                         std::string strObjectContainer, std::string strMail, std::string strUid,
                                         std::string strRdn, std::shared_ptr<clsExchangeStore> objExchangeStore);
    // The object at a position from 1; raises qv::Error 9 outside 1..Count.
    std::shared_ptr<DirectoryObject> Item(long vntIndexKey) const;
    long Count() const { return static_cast<long>(items_.size()); }
    // Removes the object at a position from 1 (later ones move up); raises qv::Error 9 outside 1..Count.
    void Remove(long vntIndexKey);

    // Iteration over the objects in order.
    Items::const_iterator begin() const { return items_.begin(); }
    Items::const_iterator end() const { return items_.end(); }

private:
    std::size_t position(long vntIndexKey) const;
    Items items_;
};

}  // namespace qv
