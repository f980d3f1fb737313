#pragma once
// The one-record result of DirectoryObject::GetPropertiesEx: one field per
// requested attribute, in request order, found by name without regard to
// case. A field holds a text, a list (for "member"), or no value at all when
// its attribute could not be read.
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv {

class PropertyBag {
public:
    using Value = std::variant<std::monostate, std::string, std::vector<std::string>>;

    // Adds a field without a value; false when a field of that name exists.
    bool append(std::string name);
    // Raises qv::Error (err::ItemNotFound) for a name that is not a field.
    void set(std::string_view name, Value value);

    bool has(std::string_view name) const;
    const Value& value(std::string_view name) const;
    bool isNull(std::string_view name) const { return std::holds_alternative<std::monostate>(value(name)); }
    // The text of a field; "" without a value; err::TypeMismatch for a list.
    std::string text(std::string_view name) const;
    // The list of a field; empty without a value; err::TypeMismatch for a text.
    std::vector<std::string> list(std::string_view name) const;

    std::size_t size() const { return fields_.size(); }
    // The field names, as first requested, in order.
    std::vector<std::string> names() const;

private:
    struct Field {
        std::string name;
        Value value;
    };
    const Field* find(std::string_view name) const;
    const Field& get(std::string_view name) const;

    std::vector<Field> fields_;
};

}  // namespace qv
