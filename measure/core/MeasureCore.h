// The arithmetic of one measurement, free of the toolkit: the sizes of a
// cycle, the averaging window and mean, the rate check, the texts and lamps a
// slot shows, and the gathering of the channel means. The measurement thread
// (Mainthread.h) calls these; the tests drive them directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ksv {

inline constexpr const char* kNoValueText = "--------";

// Thrown when a text that must be a number is not one. The number texts of
// the measurement itself never depend on the locale: they are formatted and
// parsed with '.' always.
class TConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
inline constexpr int kFrameWords = 16; // one sample frame: one word per channel

// What the loop asks of its owner while it runs: whether to stop, and how to
// report a failure. The first failure reported in a run is shown and sets
// the stop request; later ones are dropped.
class TRunControl {
public:
    virtual bool RunTerminated() const = 0;
    virtual bool RunStopRequested() const = 0;
    // `text` is UTF-8 and outlives the call.
    virtual void ReportFailure(const char* text) = 0;
    bool ShouldStop() const { return RunTerminated() || RunStopRequested(); }

protected:
    ~TRunControl() = default;
};

// ---- sizes ----------------------------------------------------------------

struct TCycleSizes {
    std::uint32_t RecvBlockSize = 0;     // words asked for in one read
    std::uint32_t TotalSamples = 0;      // values of one cycle, all channels; N * 16
    std::uint32_t TotalWords = 0;        // words read in one cycle; equal to TotalSamples
    std::uint32_t SamplesPerChannel = 0; // N
};

// Largest cycle accepted: the buffers add 16 entries to TotalSamples and N,
// and those sums must still count in 32 bits.
inline constexpr std::uint32_t kMaxTotalSamples = 0xFFFFFFE0u;

// Block = trunc(0.1 F 16), at least one frame; TotalSamples =
// trunc(T F 16 + 0.5) rounded down to whole frames; the block never exceeds
// the cycle. Empty when the rate is not positive and finite, or the time is
// negative, not finite, or so long that the cycle cannot be counted in 32
// bits. A time shorter than one frame gives N = 0.
std::optional<TCycleSizes> ComputeCycleSizes(double rateHz, double acquisitionTime);

// ---- the rate ---------------------------------------------------------------

struct TRateChoice {
    double RateHz = 0.0;
    std::uint8_t Divisor = 0;
};

// The rate and divisor of combo-box item `itemIndex`; empty when no item is
// selected (index -1) or the index lies outside the tables.
std::optional<TRateChoice> ChooseRate(int itemIndex, const std::array<double, 8>& ratesHz,
                                      const std::array<std::uint8_t, 8>& divisors);

// The item text as a number: '.' as decimal point, blanks around it ignored;
// empty when the text is not one number.
std::optional<double> ParseRateText(std::string_view text);

// True when the item text agrees with the rate to within 1 Hz.
bool RateMatchesText(double rateHz, std::string_view itemText);

// ---- averaging --------------------------------------------------------------

// The rectangular window: every weight 1.
void BuildWindow(double* window, std::uint32_t n);

// Sum of x[j] w[j] for j < n, divided by windowSum. NaN (no value) when the
// cycle holds no sample or the window sums to zero.
double WeightedMean(const double* x, const double* w, std::uint32_t n, double windowSum);

// For every channel of an active slot (fitted and checked): gathers its n
// values out of the cycle's frames into `dataPerChannel` and stores their
// mean in channelValue[i]. channelValue is zeroed first. Returns false when
// the run was told to stop before every active channel was done.
bool GatherChannelValues(const double* data, std::uint32_t n, const std::array<std::uint16_t, 16>& channelIndex,
                         const std::array<bool, 8>& slotActive, const double* window, double windowSum,
                         double* dataPerChannel, std::array<double, 16>& channelValue, const TRunControl& run);

// ---- display ----------------------------------------------------------------

// `value` in fixed point with `decimals` places and '.' as separator, whatever
// the locale; "--------" for a value that is not finite. A value that rounds
// to zero shows without a minus sign.
std::string FormatFixed(double value, int decimals);

struct TSlotValueTexts {
    std::string Value1, Value2;
};

// What the two value edits of a slot show after a cycle: voltage kinds in mV
// ("0.000" of y * 1000), temperature "0.000", currents "0.0000", resistance
// channel 1 "0.000" and channel 2 "--------"; an unchecked slot or any other
// name "--------" in both.
TSlotValueTexts SlotValueTexts(bool checked, std::string_view mezzanineName, double y1, double y2);

enum class TLampUpdate {
    Unchanged,
    Updated,
    Off
};

struct TSlotLamps {
    TLampUpdate Lamp1 = TLampUpdate::Unchanged, Lamp2 = TLampUpdate::Unchanged;
};

// The lamps after the value update: a fitted, checked slot lights channel 1,
// and channel 2 unless it is a resistance mezzanine; a fitted, unchecked slot
// turns both off; a slot without a mezzanine is left as it is.
TSlotLamps SlotUpdateMarks(bool checked, std::string_view mezzanineName);

} // namespace ksv
