// The wire format between the crate libraries and ksv-crate-server.
//
// Every message is one frame: a 16-byte header followed by `length` bytes
// of payload, all integers little-endian, doubles as IEEE-754 bits.
//
//   u32 magic "KSVS"   u16 op   u16 reserved (0)   u32 seq   u32 length
//
// A reply carries the op of its request with kReplyBit set and the request's
// seq, and its payload starts with i32 status and u32 flags. Requests are at
// most kMaxRequestPayload bytes, replies at most kMaxReplyPayload; a frame
// that is larger or has a wrong magic ends the connection.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace ksv::sim {

constexpr uint32_t kFrameMagic = 0x5356534Bu; // "KSVS" in memory order
constexpr size_t kHeaderSize = 16;
constexpr uint32_t kMaxRequestPayload = 4096;
constexpr uint32_t kMaxRecvWordsPerReply = 65536;
constexpr uint32_t kMaxReplyPayload = 16 + 4 * kMaxRecvWordsPerReply;
constexpr uint16_t kReplyBit = 0x8000;

enum class Op : uint16_t {
    ListCrates = 1,     // -> u32 n, n x (u16 len, bytes)
    CrateModules = 2,   // lstr serial -> u32 n, n x u16 identifier
    Open = 3,           // lstr serial, i32 slot -> module info (see ModuleInfo)
    CloseModule = 4,    // -> nothing
    GetConfig = 5,      // -> module info
    GetDescription = 6, // -> 8 x (lstr serial, 4 x f64)
    SetConfig = 7,      // u8 divisor, 8 x 4 x f64 -> nothing
    Start = 8,          // -> nothing
    Stop = 9,           // -> nothing
    Recv = 10,          // u32 words, u32 waitMs -> u32 n, n x u32
    Control = 11,       // lstr command -> lstr text
};

// Reply flags.
constexpr uint32_t kFlagProcessFail = 1u;     // ProcessData fails until a reply without it
constexpr uint32_t kFlagProcessFailOnce = 2u; // the next ProcessData fails once
constexpr uint32_t kFlagFinal = 4u;           // Recv: hand these words to the caller now

struct FrameHeader {
    uint32_t Magic = kFrameMagic;
    uint16_t Op = 0;
    uint16_t Reserved = 0;
    uint32_t Seq = 0;
    uint32_t Length = 0;
};

void EncodeHeader(uint8_t out[kHeaderSize], const FrameHeader& h);
FrameHeader DecodeHeader(const uint8_t in[kHeaderSize]);

// Builds a payload.
class Writer {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F64(double v);
    // u16 length, then the bytes (cut at 65535).
    void Str(std::string_view s);
    void Raw(const void* data, size_t n);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads a payload; any read past the end yields zeros and clears Ok().
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit Reader(const std::vector<uint8_t>& v) : Reader(v.data(), v.size()) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int32_t I32() { return static_cast<int32_t>(U32()); }
    double F64();
    // A u16-length string; fails (empty, !Ok) if longer than maxLength.
    std::string Str(size_t maxLength = 1024);
    bool Ok() const { return ok_; }
    size_t Remaining() const { return size_ - pos_; }
    const uint8_t* Here() const { return data_ + pos_; }
    bool Skip(size_t n);

private:
    bool Take(size_t n);
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Builds a whole frame: header and payload.
std::vector<uint8_t> MakeFrame(uint16_t op, uint32_t seq, const std::vector<uint8_t>& payload);

// What the server tells of a module on Open and GetConfig.
struct MezzanineInfo {
    std::string Name;
    std::array<double, 4> Coefs{0.0, 1.0, 0.0, 1.0}; // those now applied
};
struct ModuleInfo {
    std::string Name;
    std::string Serial;
    uint32_t Firmware = 0;
    uint8_t Divisor = 0;
    std::array<MezzanineInfo, 8> Mezzanines;
};
void WriteModuleInfo(Writer& w, const ModuleInfo& info);
bool ReadModuleInfo(Reader& r, ModuleInfo& info);

} // namespace ksv::sim
