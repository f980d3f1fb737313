// Filter translation: a filter it accepts comes out as valid RFC 4515 and is
// left as it is the second time; an escaped value always makes a valid test,
// and only attribute descriptions pass as attribute names.
#include "FuzzInput.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string text(fuzz::textOf(data, size));
    try {
        const std::string rfc = platform::toRfc4515Filter(text);
        fuzz::require(platform::isRfc4515Filter(rfc), "a translated filter is RFC 4515", text, rfc);
        fuzz::require(platform::toRfc4515Filter(rfc) == rfc, "an RFC 4515 filter is sent as it is", text, rfc);
    } catch (const Error&) {
    }
    const std::string test = "(cn=" + platform::escapeFilterValue(text) + ")";
    fuzz::require(platform::isRfc4515Filter(test), "an escaped value makes a valid test", text, test);
    const std::string prefixed = "(cn=" + platform::escapeFilterValue(text) + "*)";
    fuzz::require(platform::isRfc4515Filter(prefixed), "an escaped prefix makes a valid test", text, prefixed);
    if (platform::isAttributeDescription(text)) {
        const std::string built = "(" + text + "=x*)";
        fuzz::require(platform::isRfc4515Filter(built), "an attribute description makes a valid test", text, built);
    }
    return 0;
}
