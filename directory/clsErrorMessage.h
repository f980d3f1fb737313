#pragma once
// The outcome of the last operation of a store or directory object: a number
// (0 for none), a description and the description meant for the user.
#include <cstdint>
#include <string>

#include "platform/Error.h"

namespace qv {

class clsErrorMessage {
public:
    std::int32_t Number = 0;
    std::string Description;
    std::string UserDescription;

    void SetProperties(std::int32_t intNumber, std::string strDescription, std::string strUserDescription);
    void ClearProperties();
    // The error's number, and its description as both descriptions.
    void SetFromError(const Error& error);
};

}  // namespace qv
