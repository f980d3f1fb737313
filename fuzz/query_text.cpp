// The designer's query text: any raw text is read into the fields and
// rebuilt without a crash, and a rebuilt valid query reads back to itself.
#include "FuzzInput.h"
#include "designer/QueryModel.h"
#include "engine/QueryString.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    QueryModel model;
    model.rawText = std::string(fuzz::textOf(data, size));
    ParseQueryText(model);
    BuildQueryText(model);
    (void)QueryStatus(model.rawText);
    if (!ValidQuery(model.rawText)) return 0;
    QueryModel again;
    again.rawText = model.rawText;
    ParseQueryText(again);
    fuzz::require(again.rawText == model.rawText, "a rebuilt query reads back to itself", model.rawText,
                  again.rawText);
    QueryModel opened = OpenQuery(model.rawText, "LDAP://server/o=Org");
    (void)opened;
    return 0;
}
