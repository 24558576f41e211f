#include "ReadCycle.h"

#include <new>

#include "MeasureMessages.h"

namespace ksv {

bool ReadCycle(TKsvApi& api, Ksv27ModuleRecord* module, TRunControl& run, std::uint32_t* rcvBuffer,
               const TCycleSizes& sizes, std::uint32_t timeoutMs)
{
    const std::uint32_t total = sizes.TotalWords;
    std::uint32_t block = sizes.RecvBlockSize;
    std::uint32_t received = 0;
    std::uint32_t* destination = rcvBuffer;
    std::int32_t error = 0;

    if (api.KSV27_ADCStart(module) != 0) {
        run.ReportFailure(msg::kAdcStartFailed);
        return !run.ShouldStop();
    }
    for (;;) {
        const std::int32_t n = api.KSV27_Recv(module, destination, nullptr, block, timeoutMs);
        if (n < 0) {
            error = n;
            run.ReportFailure(msg::kRecvFailed);
            break;
        }
        if (n == 0) {
            error = -1;
            run.ReportFailure(msg::kRecvNothing);
            break;
        }
        if (static_cast<std::uint32_t>(n) != block) {
            error = n;
            run.ReportFailure(msg::kRecvWrongCount);
            break;
        }
        received += block;
        if (received >= total) break;
        destination += block;
        if (block > total - received) block = total - received;
        if (run.RunTerminated()) break;
    }
    if (api.KSV27_ADCStop(module) != 0) {
        run.ReportFailure(msg::kAdcStopFailed);
        return !run.ShouldStop();
    }
    if (error != 0 || run.RunTerminated()) return false;
    if (received != total) run.ReportFailure(msg::kRecvIncomplete);
    return !run.ShouldStop();
}

bool ConvertCycle(TKsvApi& api, Ksv27ModuleRecord* module, const std::uint32_t* rcvBuffer, double* data,
                  std::uint32_t totalWords)
{
    std::uint32_t count = totalWords;
    return api.KSV27_ProcessData(module, rcvBuffer, data, &count, 1, 1) == 0 && count == totalWords;
}

const char* TMeasureBuffers::Allocate(const TCycleSizes& sizes)
{
    Free();
    // The sizes were bounded when they were computed, so these sums do not wrap.
    const std::size_t samples = sizes.TotalSamples;
    const std::size_t perChannel = std::size_t{sizes.SamplesPerChannel} + kFrameWords;
    if (!(RcvBuffer = new (std::nothrow) std::uint32_t[sizes.TotalWords])) return msg::kNoMemoryRcvBuffer;
    if (!(Data = new (std::nothrow) double[samples])) return msg::kNoMemoryData;
    if (!(ChannelsStatus = new (std::nothrow) std::uint32_t[samples + kFrameWords])) return msg::kNoMemoryChannelsStatus;
    if (!(DataPerChannel = new (std::nothrow) double[perChannel])) return msg::kNoMemoryDataPerChannel;
    if (!(Window = new (std::nothrow) double[perChannel])) return msg::kNoMemoryWindow;
    return nullptr;
}

void TMeasureBuffers::Free()
{
    delete[] RcvBuffer;
    delete[] Data;
    delete[] ChannelsStatus;
    delete[] DataPerChannel;
    delete[] Window;
    RcvBuffer = nullptr;
    Data = nullptr;
    ChannelsStatus = nullptr;
    DataPerChannel = nullptr;
    Window = nullptr;
}

} // namespace ksv
