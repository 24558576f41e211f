#include "PackedCycle.h"

#include <limits>

#include "MeasureCore.h"

namespace ksv::cli {

namespace {

bool SameShape(const TCycleShape& shape, const TCycleResult& cycle)
{
    for (std::size_t c = 0; c < shape.Channels.size(); ++c) {
        const TChannelResult& a = shape.Channels[c];
        const TChannelResult& b = cycle.Channels[c];
        if (a.Active != b.Active || a.Kind != b.Kind || a.Unit != b.Unit || a.MezzanineName != b.MezzanineName ||
            a.Label != b.Label || a.Scaled != b.Scaled || a.ScaledUnit != b.ScaledUnit)
            return false;
    }
    return true;
}

std::shared_ptr<const TCycleShape> ShapeOf(const TCycleResult& cycle)
{
    auto shape = std::make_shared<TCycleShape>();
    for (std::size_t c = 0; c < shape->Channels.size(); ++c) {
        TChannelResult& channel = shape->Channels[c];
        channel.Active = cycle.Channels[c].Active;
        channel.Kind = cycle.Channels[c].Kind;
        channel.Unit = cycle.Channels[c].Unit;
        channel.MezzanineName = cycle.Channels[c].MezzanineName;
        channel.Label = cycle.Channels[c].Label;
        channel.Scaled = cycle.Channels[c].Scaled;
        channel.ScaledUnit = cycle.Channels[c].ScaledUnit;
    }
    return shape;
}

} // namespace

TPackedCycle TCyclePacker::Pack(const TCycleResult& cycle)
{
    if (!shape_ || !SameShape(*shape_, cycle)) shape_ = ShapeOf(cycle);
    TPackedCycle packed;
    packed.Index = cycle.Index;
    packed.StartTime = cycle.StartTime;
    packed.Shape = shape_;
    std::size_t bytes = 0;
    for (const TChannelResult& channel : cycle.Channels)
        if (channel.Active && channel.Valid) bytes += channel.Text.size() + 1;
    packed.Texts.reserve(bytes);
    for (std::size_t c = 0; c < cycle.Channels.size(); ++c) {
        const TChannelResult& channel = cycle.Channels[c];
        if (!channel.Active || !channel.Valid) continue;
        packed.Valid = static_cast<std::uint16_t>(packed.Valid | (1u << c));
        packed.Texts += channel.Text;
        packed.Texts += '\0';
        if (channel.Scaled) packed.Raw[c] = channel.RawValue;
    }
    return packed;
}

void UnpackCycle(const TPackedCycle& packed, TCycleResult& out)
{
    out.Index = packed.Index;
    out.StartTime = packed.StartTime;
    std::size_t at = 0;
    for (std::size_t c = 0; c < out.Channels.size(); ++c) {
        const TChannelResult& shape = packed.Shape->Channels[c];
        TChannelResult& channel = out.Channels[c];
        channel.Active = shape.Active;
        channel.Kind = shape.Kind;
        channel.Unit = shape.Unit;
        channel.MezzanineName = shape.MezzanineName;
        channel.Label = shape.Label;
        channel.Scaled = shape.Scaled;
        channel.ScaledUnit = shape.ScaledUnit;
        channel.RawValue = packed.Raw[c];
        channel.Valid = (packed.Valid >> c) & 1u;
        if (channel.Valid) {
            const std::size_t end = packed.Texts.find('\0', at);
            channel.Text.assign(packed.Texts, at, end - at);
            at = end + 1;
        } else {
            channel.Text = kNoValueText;
        }
        channel.Value = std::numeric_limits<double>::quiet_NaN(); // the messages use the text
    }
}

} // namespace ksv::cli
