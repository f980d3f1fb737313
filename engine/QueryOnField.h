#pragma once
#include <string>

#include "directory/QueryResult.h"

namespace qv {

// Runs a search command, built around the attribute name `field`, through the
// module's store. A field that is not an attribute name would be spliced into
// the filter as structure ("cn=*)(uid"), widening the search to DLs it must
// not touch: then the result is a failure and nothing is sent.
QueryResult QueryOnField(const std::string& field, std::string& command);

}  // namespace qv
