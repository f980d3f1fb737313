// The server a server name, an address or a bracketed search base names.
#include "FuzzInput.h"
#include "directory/clsExchangeStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view text = fuzz::textOf(data, size);
    const std::string server = clsExchangeStore::GetServerName(text);
    const std::string prefix = clsExchangeStore::PathPrefix(text);
    fuzz::require(server.size() <= text.size(), "the server is part of the text", text, server);
    fuzz::require(prefix == "LDAP://" || prefix == "LDAPS://", "a known scheme", text, prefix);
    return 0;
}
