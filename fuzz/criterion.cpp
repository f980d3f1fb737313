// Criteria items: any item is read without a crash, and an item written from
// a field, an operator and a value reads back as exactly those, unless the
// value begins or ends with "*" (a wildcard then, which the item's form shows).
#include "FuzzInput.h"
#include "designer/QueryModel.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const std::string_view text = fuzz::textOf(data, size);
    (void)ReadCriterion(text);
    if (text.empty()) return 0;
    const int op = static_cast<unsigned char>(text[0]) % 6;
    const auto args = fuzz::parts(text.substr(1), 2);
    const std::string& field = args[0];
    const std::string value = (op == Present || op == NotPresent) ? std::string() : args[1];
    if (field.empty()) return 0;
    const std::string item = FormatCriterion(field, op, value);
    const auto read = ReadCriterion(item);
    fuzz::require(read.has_value(), "a written criterion can be read", item);
    fuzz::require(read->field == field, "the field reads back", field, read->field);
    if (!value.empty() && (value.front() == '*' || value.back() == '*')) return 0;
    // "Starts with" or "Ends with" nothing is the test for presence, and reads back as one.
    const bool presence = value.empty() && (op == StartsWith || op == EndsWith);
    fuzz::require(read->op == (presence ? int(Present) : op), "the operator reads back", item);
    fuzz::require(read->value == value, "the value reads back", value, read->value);
    return 0;
}
