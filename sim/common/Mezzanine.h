// The mezzanine kinds the simulated KSV27 knows, and the raw word format.
//
// A raw word is (channel << 28) | code: the top four bits name the channel
// 0..15 of the frame, the low 28 bits are an offset-binary sample code
// (0x8000000 is zero). The code stands for
//     codeValue = (code - 0x8000000) / 2^27 * fullScale
// in library units, fullScale being that of the mezzanine kind and channel.
// ProcessData then applies the coefficients given to SetConfig:
//     value = (codeValue + offset) * scale
// with {offset, scale} = coefs[0], coefs[1] for the first channel of the
// mezzanine and coefs[2], coefs[3] for the second.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ksv::sim {

enum class Kind {
    None,
    Voltage,
    Temperature,
    Current,
    Resistance,
    Unknown
};

struct KindInfo {
    Kind Type = Kind::None;
    double FullScale[2] = {1.0, 1.0}; // per channel of the mezzanine, library units
};

// "U01", "U10", "U20" volts; "T" millivolts; "I5", "I10", "I20" milliamperes;
// "R100", "R250" ohms on the first channel and volts on the second;
// "EMPTY", "UDEF" and "" nothing; any other name Unknown (full scale 1).
KindInfo KindOf(std::string_view name);

constexpr uint32_t kCodeZero = 0x8000000u;
constexpr uint32_t kCodeMask = 0x0FFFFFFFu;
constexpr double kCodeHalfRange = 134217728.0; // 2^27

inline int ChannelOfWord(uint32_t word) { return static_cast<int>(word >> 28); }
inline int32_t SignedCodeOfWord(uint32_t word)
{
    return static_cast<int32_t>(word & kCodeMask) - static_cast<int32_t>(kCodeZero);
}

// The word for `codeValue` on `channel`, clipped to the code range; a value
// that is not finite reads as zero.
uint32_t EncodeWord(int channel, double codeValue, double fullScale);

// codeValue of a word.
inline double CodeValueOfWord(uint32_t word, double fullScale)
{
    return SignedCodeOfWord(word) / kCodeHalfRange * fullScale;
}

// The channel pair of mezzanine m is 2m, 2m+1.
inline int MezzanineOfChannel(int channel) { return channel / 2; }

// Whether coefficients can be applied: finite, and a scale other than zero.
bool CoefsUsable(const std::array<double, 4>& coefs);

} // namespace ksv::sim
