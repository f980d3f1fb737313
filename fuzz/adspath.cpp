// Directory addresses: any text is read or refused with qv::Error, and an
// object address the parser accepts names the same object when it is written
// back from its parts.
#include "FuzzInput.h"
#include "platform/AdsPath.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view text = fuzz::textOf(data, size);
    platform::AdsPath path;
    try {
        path = platform::parseAdsPath(text);
    } catch (const Error&) {
        return 0;
    }
    (void)path.url();
    if (path.target != platform::AdsTarget::Object) return 0;
    const std::string again = path.pathOf(path.dn);
    platform::AdsPath reread;
    try {
        reread = platform::parseAdsPath(again);
    } catch (const Error&) {
        fuzz::require(false, "an address written from its parts can be read again", text, again);
    }
    fuzz::require(reread.dn == path.dn && reread.server == path.server, "the address names the same object",
                  path.dn, reread.dn);
    return 0;
}
