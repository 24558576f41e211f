// A simulated crate server for a whole suite of tests that load the real
// libraries from beside them; each test checks server->Running() first.
#pragma once

#include <memory>
#include <string>

#include "SimServerProcess.h"
#include "TKsvApi.h"

namespace ksv::simtest {

inline void StartSuiteServer(std::unique_ptr<SimServerProcess>& server, const std::string& scenarioJson)
{
    server = std::make_unique<SimServerProcess>();
    if (!server->Start(scenarioJson)) return;
    server->ExportPort();
    SetKsvApi(nullptr);
    SetKsvLibraryFolder(ExecutableFolder().c_str());
}

inline void StopSuiteServer(std::unique_ptr<SimServerProcess>& server)
{
    if (server) server->Stop();
    server.reset();
}

} // namespace ksv::simtest
