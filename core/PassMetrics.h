#pragma once
// The outcome of an unattended run for monitoring: the Prometheus text format
// that node_exporter's textfile collector reads.
#include <chrono>
#include <string>

#include "engine/DLOutcome.h"

namespace qv {

struct PassMetrics {
    bool success = false;
    double durationSeconds = 0;
    std::chrono::system_clock::time_point end;
    PassCounters counters;
};

// The eight metrics, each with # HELP and # TYPE, without sample timestamps.
std::string MetricsText(const PassMetrics& metrics);

// Replaces the file at `path` with the metrics at once; why it could not, or empty.
std::string WriteMetricsFile(const std::string& path, const PassMetrics& metrics);

}  // namespace qv
