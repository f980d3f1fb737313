#include "engine/QueryOnField.h"

#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapFilter.h"

namespace qv {

QueryResult QueryOnField(const std::string& field, std::string& command) {
    if (!platform::isAttributeDescription(field))
        return QueryResult::failed(
            Error(err::FilterUnknown, "The field \"" + field + "\" is not an attribute name; no search was sent."));
    return mdl().objExchangeStore->Query(command);
}

}  // namespace qv
