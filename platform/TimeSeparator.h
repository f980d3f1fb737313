#pragma once
// The separator between hours and minutes in the user's time format.
#include <string>
#include <string_view>

namespace qv::platform {

// The separator of the time format of the user's locale (LC_TIME from the
// environment, e.g. ":" for "%H:%M:%S"), at most 9 characters; empty when the
// format has none.
std::string timeSeparator();

// The literal text between the hour and the next field of a strftime format.
std::string timeSeparatorOf(std::string_view format);

}  // namespace qv::platform
