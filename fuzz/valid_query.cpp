// The query string: the syntax check, the prefix test and the field access
// never fail on any text, and splitting then joining gives the text back.
#include "FuzzInput.h"
#include "engine/QueryString.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const auto args = fuzz::parts(fuzz::textOf(data, size), 2);
    const std::string& query = args[0];
    (void)ValidQuery(query);
    fuzz::require(JoinQuery(SplitQuery(query)) == query, "split and join give the text back", query);
    if (auto rest = QueryFromDefinition(query, args[1])) {
        fuzz::require(HasQuorvelPrefix(query, args[1]), "a definition with a query has the prefix", query, args[1]);
        fuzz::require(rest->size() <= query.size(), "the query is part of the definition", query, *rest);
    }
    try {
        (void)ReplaceQueryField(query, 3, "cn,adspath,distinguishedName");
    } catch (const Error&) {
    }
    return 0;
}
