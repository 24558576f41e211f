#include "RecordFormat.h"

#include "CycleCsv.h"

namespace ksv::cli {

std::unique_ptr<TRecordFormat> MakeRecordFormat(TFormat format, TChannelNaming naming)
{
    switch (format) {
    case TFormat::Csv: return MakeCsvFormat(naming);
    case TFormat::Json: return MakeJsonFormat();
    case TFormat::Table: break;
    }
    return MakeTableFormat();
}

std::string ChannelColumn(const TRunDescription& run, int moduleSlot, int channel, TChannelNaming naming)
{
    const std::string& mezzanine = run.MezzanineNames[static_cast<std::size_t>(channel / 2)];
    const int number = moduleSlot > 0 ? ChannelNumber(moduleSlot, channel) : channel + 1;
    const TChannelSetting* setting =
        naming.Table ? FindSetting(*naming.Table, moduleSlot > 0 ? moduleSlot : run.Slot, channel, moduleSlot == 0)
                     : nullptr;
    if (!setting) return NamedColumnName(number, channel, mezzanine, {}, {});
    const TChannelUnit unit = UnitOf(MezzanineKindOf(mezzanine));
    std::string scaledUnit;
    if (setting->Scale && !naming.Raw && unit != TChannelUnit::None)
        scaledUnit = ScaledUnitText(*setting, unit);
    return NamedColumnName(number, channel, mezzanine, scaledUnit, setting->Label);
}

} // namespace ksv::cli
