#include "Mezzanine.h"

#include <cmath>

namespace ksv::sim {

KindInfo KindOf(std::string_view name)
{
    struct Entry {
        std::string_view Name;
        Kind K;
        double A, B;
    };
    // Full scales leave room above the nominal ranges, so that the levels
    // of a scenario and the deliberate errors of its coefficients fit.
    static constexpr Entry kTable[] = {
        {"U01", Kind::Voltage, 2.0, 2.0},
        {"U10", Kind::Voltage, 20.0, 20.0},
        {"U20", Kind::Voltage, 40.0, 40.0},
        {"T", Kind::Temperature, 200.0, 200.0},
        {"I5", Kind::Current, 10.0, 10.0},
        {"I10", Kind::Current, 20.0, 20.0},
        {"I20", Kind::Current, 40.0, 40.0},
        {"R100", Kind::Resistance, 200.0, 2.0},
        {"R250", Kind::Resistance, 500.0, 2.0},
        {"EMPTY", Kind::None, 1.0, 1.0},
        {"UDEF", Kind::None, 1.0, 1.0},
        {"", Kind::None, 1.0, 1.0},
    };
    for (const auto& e : kTable) {
        if (e.Name == name) {
            KindInfo info;
            info.Type = e.K;
            info.FullScale[0] = e.A;
            info.FullScale[1] = e.B;
            return info;
        }
    }
    KindInfo unknown;
    unknown.Type = Kind::Unknown;
    return unknown;
}

uint32_t EncodeWord(int channel, double codeValue, double fullScale)
{
    double n = std::isfinite(codeValue) && fullScale > 0 ? std::nearbyint(codeValue / fullScale * kCodeHalfRange) : 0.0;
    if (n > kCodeHalfRange - 1) n = kCodeHalfRange - 1;
    if (n < -kCodeHalfRange) n = -kCodeHalfRange;
    uint32_t code = static_cast<uint32_t>(static_cast<int32_t>(n) + static_cast<int32_t>(kCodeZero)) & kCodeMask;
    return (static_cast<uint32_t>(channel & 0xF) << 28) | code;
}

bool CoefsUsable(const std::array<double, 4>& coefs)
{
    for (double c : coefs)
        if (!std::isfinite(c)) return false;
    return coefs[1] != 0.0 && coefs[3] != 0.0;
}

} // namespace ksv::sim
