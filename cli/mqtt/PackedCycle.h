// A cycle as it waits to be published: what is the same for every cycle of a
// run (which channels take part, their mezzanine, kind and unit) is shared by
// all of them, and only the cycle's number, time and the texts of the
// channels that have a value are its own. A full queue of the default bound
// then holds tens of megabytes, not the hundreds a formatted message each
// would take, and packing costs the acquisition thread one small string.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "CycleResult.h"

namespace ksv::cli {

// The channels of a cycle without their values.
struct TCycleShape {
    std::array<TChannelResult, kChannelCount> Channels{}; // Valid, Value, Text and RawValue unused
};

struct TPackedCycle {
    std::uint64_t Index = 0;
    std::chrono::system_clock::time_point StartTime{};
    std::shared_ptr<const TCycleShape> Shape;
    std::uint16_t Valid = 0;                 // bit c: channel c has a value
    std::string Texts;                       // the texts of those channels in order, each followed by '\0'
    std::array<double, kChannelCount> Raw{}; // a scaled channel's value before scaling
};

// Packs the cycles of one producer; a new shape is made only when a cycle's
// channels differ from the previous cycle's.
class TCyclePacker {
public:
    TPackedCycle Pack(const TCycleResult& cycle);

private:
    std::shared_ptr<const TCycleShape> shape_;
};

// The cycle again, into `out` (its strings keep their capacity from call to call).
void UnpackCycle(const TPackedCycle& packed, TCycleResult& out);

} // namespace ksv::cli
