#pragma once
// What a processing pass shows while it runs: a bar counting DLs and a status
// line. The console's processing window implements it; the unattended run
// passes none.
#include <cstdint>
#include <string>

namespace qv {

class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual std::int64_t maximum() const = 0;  // pbDL's maximum
    virtual void setMaximum(std::int64_t value) = 0;
    virtual std::int64_t value() const = 0;  // pbDL's value
    virtual void setValue(std::int64_t value) = 0;
    virtual void setStatus(const std::string& text) = 0;  // lblStatus
    virtual void repaint() = 0;  // shows the changes now; the pass does not yield to the event loop
};

}  // namespace qv
