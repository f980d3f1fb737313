#pragma once
// Converts the DLs of the older rule-based scheme (a query kept in another
// attribute behind its own prefix) into Quorvel DLs. It copies each query
// unchanged behind the Quorvel prefix and, when asked, removes the old
// definition. It processes no DL: memberships change only in a later pass.
#include <string>
#include <vector>

namespace qv {

struct RbdlConversionRequest {
    std::string container;                          // the ADsPath searched below (subtree)
    std::string rbdlField = "Admin-Description";    // where the old definition lives
    std::string rbdlPrefix = "RBDL=";
    std::string newField = "extension-attribute-15";  // where the Quorvel definition goes
    std::string newPrefix = "QVL=";
    bool move = true;  // remove the old definition once the new one is written
};

// What happened to one DL.
struct RbdlConversionOutcome {
    std::string adsPath;
    std::string cn;
    bool copied = false;   // the new definition was written
    bool cleared = false;  // the old definition was removed
    std::string error;     // why a write failed (empty when none did)
};

struct RbdlConversionResult {
    bool refused = false;       // the request would lose the queries (ClearsNewDefinition); nothing was done
    bool searchFailed = false;  // the search for RBDLs itself failed
    std::string searchError;
    std::vector<RbdlConversionOutcome> dls;  // in search order
};

// True when the old definition is to be removed from the attribute that the
// new one is written to (names compared without regard to case): removing
// it would remove the query just written.
bool ClearsNewDefinition(const RbdlConversionRequest& request);

// What the user is told when a request is refused for that reason.
inline constexpr const char* SameFieldRefusal =
    "The RBDL field and the new field name the same attribute. Moving the query would remove it again "
    "right after it is written. Choose another new field, or untick \"Move Query\" to convert in place.";

// Refuses a request that ClearsNewDefinition (writing nothing), otherwise
// runs the conversion and logs its begin and end (and every failed write as
// an error entry naming the DL).
RbdlConversionResult ConvertRbdl(const RbdlConversionRequest& request);

}  // namespace qv
