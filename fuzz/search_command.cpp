// Search commands <ADsPath>;filter;attributes;scope and the filter they
// carry: read or refused with qv::Error, never a crash.
#include "FuzzInput.h"
#include "platform/DirectorySearch.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    try {
        auto command = platform::parseSearchCommand(fuzz::textOf(data, size));
        (void)platform::toRfc4515Filter(command.filter);
    } catch (const Error&) {
    }
    return 0;
}
