#include "core/PassMetrics.h"

#include <cstdio>

#include "platform/AtomicFile.h"

namespace qv {
namespace {

// A label value in the text format: backslash, quote and line feed escaped.
std::string labelValue(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

std::string ProfileLabel(const std::string& profilePath) {
    std::string name = profilePath.substr(profilePath.find_last_of('/') + 1);
    if (name.size() > 4 && name.ends_with(".ini")) name.resize(name.size() - 4);
    return name;
}

std::string MetricsText(const PassMetrics& m) {
    const std::string sample = "{profile=\"" + labelValue(m.profile) + "\"} ";
    auto gauge = [&](const char* name, const char* help, const std::string& value) {
        return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + sample + value +
               "\n";
    };
    const double end = std::chrono::duration<double>(m.end.time_since_epoch()).count();
    const PassCounters& c = m.counters;
    return gauge("quorvel_pass_success", "1 when the last pass succeeded, 0 when it failed.", m.success ? "1" : "0") +
           gauge("quorvel_pass_duration_seconds", "How long the last pass took.", number(m.durationSeconds)) +
           gauge("quorvel_pass_end_time_seconds", "When the last pass ended, in seconds since the Unix epoch.",
                 number(end)) +
           gauge("quorvel_dls_processed", "Distribution lists the last pass processed.", std::to_string(c.processed)) +
           gauge("quorvel_dls_failed", "Distribution lists the last pass could not process.",
                 std::to_string(c.failed)) +
           gauge("quorvel_dls_refused_by_safeguard", "Distribution lists a safeguard kept from being written.",
                 std::to_string(c.refused)) +
           gauge("quorvel_members_added", "Members the last pass added.", std::to_string(c.added)) +
           gauge("quorvel_members_removed", "Members the last pass removed.", std::to_string(c.removed));
}

std::string WriteMetricsFile(const std::string& path, const PassMetrics& metrics) {
    return platform::replaceFileAtomically(path, MetricsText(metrics), 0644);
}

}  // namespace qv
