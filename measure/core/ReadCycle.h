// One cycle against the module: start the ADC, read the cycle's words in
// blocks, stop the ADC; then convert them. Both run on the measurement thread
// and reach the module only through the library interface, so a scripted
// fake can drive every path.
#pragma once

#include <cstdint>

#include "MeasureCore.h"
#include "TKsvApi.h"

namespace ksv {

// Returns true when the whole cycle was read and the run goes on. Every
// failure is reported through `run` (the first one stops the run), and a
// reported failure always returns false. A stop request is seen between
// reads, so it is served after at most one read of `timeoutMs`.
bool ReadCycle(TKsvApi& api, Ksv27ModuleRecord* module, TRunControl& run, std::uint32_t* rcvBuffer,
               const TCycleSizes& sizes, std::uint32_t timeoutMs = KSV27_RECV_TIMEOUT_MS);

// Converts the cycle's raw words into values; true when the library accepts
// them all and leaves the count as it was.
bool ConvertCycle(TKsvApi& api, Ksv27ModuleRecord* module, const std::uint32_t* rcvBuffer, double* data,
                  std::uint32_t totalWords);

// The five buffers of a measurement, allocated once when it starts and freed
// by its end step. Allocation never throws; a request of 0 entries still
// gives a distinct non-null block.
struct TMeasureBuffers {
    std::uint32_t* RcvBuffer = nullptr;      // TotalWords raw words
    double* Data = nullptr;                  // TotalSamples values, frame after frame
    std::uint32_t* ChannelsStatus = nullptr; // TotalSamples + 16 words
    double* DataPerChannel = nullptr;        // N + 16 values of one channel
    double* Window = nullptr;                // N + 16 weights

    TMeasureBuffers() = default;
    TMeasureBuffers(const TMeasureBuffers&) = delete;
    TMeasureBuffers& operator=(const TMeasureBuffers&) = delete;
    ~TMeasureBuffers() { Free(); }

    // Allocates in the order above and stops at the first failure; returns
    // that failure's message, or nullptr when all five are there. Buffers
    // held from before are freed first.
    const char* Allocate(const TCycleSizes& sizes);
    // Frees those that are allocated and nulls them.
    void Free();
};

} // namespace ksv
