#pragma once
// The outcome of an unattended run for monitoring: the Prometheus text format
// that node_exporter's textfile collector reads.
#include <chrono>
#include <string>

#include "engine/DLOutcome.h"

namespace qv {

struct PassMetrics {
    std::string profile;  // the label every sample carries, so that the files of several profiles add up
    bool success = false;
    double durationSeconds = 0;
    std::chrono::system_clock::time_point end;
    PassCounters counters;
};

// The name a profile's samples are labelled with: its file's name without
// ".ini", as the systemd instance names it.
std::string ProfileLabel(const std::string& profilePath);

// The eight metrics, each with # HELP and # TYPE and the profile label, without sample timestamps.
std::string MetricsText(const PassMetrics& metrics);

// Replaces the file at `path` with the metrics at once; why it could not, or empty.
std::string WriteMetricsFile(const std::string& path, const PassMetrics& metrics);

}  // namespace qv
