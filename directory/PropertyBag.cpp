#include "directory/PropertyBag.h"

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/Text.h"

namespace qv {

const PropertyBag::Field* PropertyBag::find(std::string_view name) const {
    for (const auto& field : fields_)
        if (platform::equalsIgnoringCase(field.name, name)) return &field;
    return nullptr;
}

const PropertyBag::Field& PropertyBag::get(std::string_view name) const {
    if (const Field* field = find(name)) return *field;
    throw Error(err::ItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name: " + std::string(name));
}

bool PropertyBag::append(std::string name) {
    if (find(name)) return false;
    fields_.push_back({std::move(name), std::monostate{}});
    return true;
}

void PropertyBag::set(std::string_view name, Value value) {
    for (auto& field : fields_) {
        if (platform::equalsIgnoringCase(field.name, name)) {
            field.value = std::move(value);
            return;
        }
    }
    get(name);  // raises the error for a name that is not a field
}

bool PropertyBag::has(std::string_view name) const { return find(name) != nullptr; }

const PropertyBag::Value& PropertyBag::value(std::string_view name) const { return get(name).value; }

std::string PropertyBag::text(std::string_view name) const {
    const Value& v = value(name);
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    if (std::holds_alternative<std::monostate>(v)) return {};
    throw Error(err::TypeMismatch, "Type mismatch: the field " + std::string(name) + " holds a list");
}

std::vector<std::string> PropertyBag::list(std::string_view name) const {
    const Value& v = value(name);
    if (const auto* list = std::get_if<std::vector<std::string>>(&v)) return *list;
    if (std::holds_alternative<std::monostate>(v)) return {};
    throw Error(err::TypeMismatch, "Type mismatch: the field " + std::string(name) + " holds a text");
}

std::vector<std::string> PropertyBag::names() const {
    std::vector<std::string> out;
    for (const auto& field : fields_) out.push_back(field.name);
    return out;
}

}  // namespace qv
