// The picture of the slots that a measurement takes when the module is
// configured: each slot's mezzanine name and whether it takes part (a real
// mezzanine and chosen by the user). The run uses only this picture, never
// the user's controls, which may belong to another thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ksvapi.h"

namespace ksv {

struct TSlotPicture {
    std::array<std::string, KSV27_MEZZANINES> Names{};
    std::array<bool, KSV27_MEZZANINES> Active{};
    std::uint32_t ActiveChannelCount = 0; // 2 per active slot
};

TSlotPicture TakeSlotPicture(const Ksv27ModuleRecord& record, const std::array<bool, KSV27_MEZZANINES>& checked);

// The mezzanine names of the record's eight slots.
std::array<std::string, KSV27_MEZZANINES> MezzanineNames(const Ksv27ModuleRecord& record);

} // namespace ksv
