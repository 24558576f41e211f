#include "Protocol.h"

#include "SimStatus.h"

namespace ksv::sim {

const char* StatusText(int32_t status)
{
    switch (status) {
    case kOk: return "ok";
    case kFailed: return "operation failed";
    case kBadArgument: return "bad argument";
    case kNotOpen: return "not open";
    case kNoConnection: return "no connection to the crate server";
    case kTimedOut: return "the crate server did not answer in time";
    case kNotFound: return "no such crate or module";
    case kBusy: return "busy";
    case kProtocol: return "malformed reply";
    case kNotRunning: return "no acquisition running";
    default: return "unknown status";
    }
}

namespace {
void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

void EncodeHeader(uint8_t out[kHeaderSize], const FrameHeader& h)
{
    Put32(out, h.Magic);
    out[4] = static_cast<uint8_t>(h.Op);
    out[5] = static_cast<uint8_t>(h.Op >> 8);
    out[6] = static_cast<uint8_t>(h.Reserved);
    out[7] = static_cast<uint8_t>(h.Reserved >> 8);
    Put32(out + 8, h.Seq);
    Put32(out + 12, h.Length);
}

FrameHeader DecodeHeader(const uint8_t in[kHeaderSize])
{
    FrameHeader h;
    h.Magic = Get32(in);
    h.Op = static_cast<uint16_t>(in[4] | in[5] << 8);
    h.Reserved = static_cast<uint16_t>(in[6] | in[7] << 8);
    h.Seq = Get32(in + 8);
    h.Length = Get32(in + 12);
    return h;
}

void Writer::U16(uint16_t v)
{
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
}

void Writer::U32(uint32_t v)
{
    uint8_t b[4];
    Put32(b, v);
    Raw(b, 4);
}

void Writer::F64(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(static_cast<uint32_t>(bits));
    U32(static_cast<uint32_t>(bits >> 32));
}

void Writer::Str(std::string_view s)
{
    size_t n = s.size() > 0xFFFF ? 0xFFFF : s.size();
    U16(static_cast<uint16_t>(n));
    Raw(s.data(), n);
}

void Writer::Raw(const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
}

bool Reader::Take(size_t n)
{
    if (!ok_ || size_ - pos_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

bool Reader::Skip(size_t n)
{
    if (!Take(n)) return false;
    pos_ += n;
    return true;
}

uint8_t Reader::U8()
{
    if (!Take(1)) return 0;
    return data_[pos_++];
}

uint16_t Reader::U16()
{
    if (!Take(2)) return 0;
    uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
}

uint32_t Reader::U32()
{
    if (!Take(4)) return 0;
    uint32_t v = Get32(data_ + pos_);
    pos_ += 4;
    return v;
}

double Reader::F64()
{
    uint64_t lo = U32();
    uint64_t hi = U32();
    uint64_t bits = lo | hi << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return ok_ ? v : 0.0;
}

std::string Reader::Str(size_t maxLength)
{
    uint16_t n = U16();
    if (!ok_ || n > maxLength || !Take(n)) {
        ok_ = false;
        return {};
    }
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
}

std::vector<uint8_t> MakeFrame(uint16_t op, uint32_t seq, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame(kHeaderSize + payload.size());
    FrameHeader h;
    h.Op = op;
    h.Seq = seq;
    h.Length = static_cast<uint32_t>(payload.size());
    EncodeHeader(frame.data(), h);
    if (!payload.empty()) std::memcpy(frame.data() + kHeaderSize, payload.data(), payload.size());
    return frame;
}

void WriteModuleInfo(Writer& w, const ModuleInfo& info)
{
    w.Str(info.Name);
    w.Str(info.Serial);
    w.U32(info.Firmware);
    w.U8(info.Divisor);
    for (const auto& m : info.Mezzanines) {
        w.Str(m.Name);
        for (double c : m.Coefs) w.F64(c);
    }
}

bool ReadModuleInfo(Reader& r, ModuleInfo& info)
{
    info.Name = r.Str(256);
    info.Serial = r.Str(256);
    info.Firmware = r.U32();
    info.Divisor = r.U8();
    for (auto& m : info.Mezzanines) {
        m.Name = r.Str(256);
        for (double& c : m.Coefs) c = r.F64();
    }
    return r.Ok();
}

} // namespace ksv::sim
