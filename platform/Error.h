#pragma once
// A failure as the program's callers see it: a number they test and a
// description they show or log. Every layer raises this one type.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qv {

class Error : public std::runtime_error {
public:
    Error(std::int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string description_;
};

}  // namespace qv
