// Starts the crate server a benchmark measures against, on a free port, and
// points the crate libraries of this process at it.
#pragma once

#include <cstdio>
#include <string>

#include "SimServerProcess.h"

namespace ksv::bench {

// false, with one line on standard error naming the benchmark, when the
// server did not come up.
inline bool StartBenchServer(const char* bench, simtest::SimServerProcess& server, const std::string& scenarioJson)
{
    if (!server.Start(scenarioJson)) {
        std::fprintf(stderr, "%s: the crate server did not start: %s\n", bench, server.Error().c_str());
        return false;
    }
    server.ExportPort();
    return true;
}

} // namespace ksv::bench
