#include "directory/clsErrorMessage.h"

namespace qv {

void clsErrorMessage::SetProperties(std::int32_t intNumber, std::string strDescription,
                                    std::string strUserDescription) {
    Number = intNumber;
    Description = std::move(strDescription);
    UserDescription = std::move(strUserDescription);
}

void clsErrorMessage::ClearProperties() { SetProperties(0, {}, {}); }

void clsErrorMessage::SetFromError(const Error& error) {
    SetProperties(error.number(), error.description(), error.description());
}

}  // namespace qv
