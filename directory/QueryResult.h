#pragma once
// The outcome of clsExchangeStore::Query: the objects found, or the error that
// stopped the search. A failed search has no collection: asking for it raises
// the recorded error, so it can never pass for an empty result.
#include <memory>
#include <optional>

#include "directory/DirObjects.h"
#include "platform/Error.h"

namespace qv {

class QueryResult {
public:
    static QueryResult found(std::shared_ptr<DirObjects> objects) { return QueryResult(std::move(objects), {}); }
    static QueryResult failed(Error error) { return QueryResult(nullptr, std::move(error)); }

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    // The objects found; raises the recorded error when the search failed.
    DirObjects& objects() const { return *shared(); }
    std::shared_ptr<DirObjects> shared() const {
        if (error_) throw *error_;
        return objects_;
    }
    // The error that stopped the search; nullptr after a success.
    const Error* error() const { return error_ ? &*error_ : nullptr; }

private:
    QueryResult(std::shared_ptr<DirObjects> objects, std::optional<Error> error)
        : objects_(std::move(objects)), error_(std::move(error)) {}
    std::shared_ptr<DirObjects> objects_;
    std::optional<Error> error_;
};

}  // namespace qv
