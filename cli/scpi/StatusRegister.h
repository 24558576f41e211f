// The SCPI status registers OPERation and QUEStionable as one connection
// sees them. Their condition belongs to the instrument, shared by every
// connection; each connection keeps its own event register and enable mask.
// The instrument counts how often each condition bit has risen, so a
// connection's event bits are the bits that rose since it last read them,
// however many connections read. Toolkit-free.
#pragma once

#include <array>
#include <cstdint>

namespace ksv::scpi {

// The bit numbers of the conditions, as their rises are counted.
// Operation: a measurement runs.
inline constexpr int kOperMeasuringBit = 4;
// Questionable: the last measurement ended by a hardware failure; a value of
// it crossed a lower or an upper limit.
inline constexpr int kQuesHardwareBit = 9;
inline constexpr int kQuesLowerLimitBit = 11;
inline constexpr int kQuesUpperLimitBit = 12;
inline constexpr std::uint16_t kOperMeasuring = 1u << kOperMeasuringBit;
inline constexpr std::uint16_t kQuesHardware = 1u << kQuesHardwareBit;
inline constexpr std::uint16_t kQuesLowerLimit = 1u << kQuesLowerLimitBit;
inline constexpr std::uint16_t kQuesUpperLimit = 1u << kQuesUpperLimitBit;

// The status byte (*STB?) and the standard event status register (*ESR?).
inline constexpr std::uint8_t kStbErrorQueue = 0x04;
inline constexpr std::uint8_t kStbQuestionable = 0x08;
inline constexpr std::uint8_t kStbMessageAvailable = 0x10;
inline constexpr std::uint8_t kStbEventStatus = 0x20;
inline constexpr std::uint8_t kStbRequestService = 0x40;
inline constexpr std::uint8_t kStbOperation = 0x80;
inline constexpr std::uint8_t kEsrOperationComplete = 0x01;
inline constexpr std::uint8_t kEsrQueryError = 0x04;
inline constexpr std::uint8_t kEsrDeviceError = 0x08;
inline constexpr std::uint8_t kEsrExecutionError = 0x10;
inline constexpr std::uint8_t kEsrCommandError = 0x20;
inline constexpr std::uint8_t kEsrPowerOn = 0x80;

// A register's condition now and, per bit, the number of its rises so far.
struct TStatusCondition {
    std::uint16_t Bits = 0;
    std::array<std::uint64_t, 16> Rises{};
};

class TStatusRegister {
public:
    // From now on: rises before this are no events.
    void Start(const TStatusCondition& condition) { seen_ = condition.Rises; }

    // The event bits, kept.
    std::uint16_t Events(const TStatusCondition& condition) const
    {
        std::uint16_t events = 0;
        for (std::size_t b = 0; b < 16; ++b)
            if (condition.Rises[b] != seen_[b]) events = static_cast<std::uint16_t>(events | (1u << b));
        return events;
    }
    // The event bits, read and cleared.
    std::uint16_t TakeEvents(const TStatusCondition& condition)
    {
        const std::uint16_t events = Events(condition);
        seen_ = condition.Rises;
        return events;
    }
    bool Summary(const TStatusCondition& condition) const { return (Events(condition) & Enable) != 0; }

    std::uint16_t Enable = 0;

private:
    std::array<std::uint64_t, 16> seen_{};
};

} // namespace ksv::scpi
