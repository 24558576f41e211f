#include "SlotLegend.h"

#include "MezzanineKind.h"

namespace ksv {

TSlotLegend SlotLegendOf(const std::string& mezzanineName, const std::string& mezzanineSerial)
{
    TSlotLegend legend;
    const TMezzanineKind kind = MezzanineKindOf(mezzanineName);
    if (!IsFitted(kind)) {
        legend.MezzanineCaption = "Пустой";
        return legend;
    }
    legend.Fitted = true;
    legend.MezzanineCaption = "MZ8" + mezzanineName + " (S/N " + mezzanineSerial + ")";
    switch (kind) {
    case TMezzanineKind::Voltage:
    case TMezzanineKind::Temperature:
        legend.Unit = "Напряжение, мВ";
        legend.Pins = TPinFamily::Voltage;
        break;
    case TMezzanineKind::Current:
        legend.Unit = "Сила тока, мА";
        legend.Pins = TPinFamily::Current;
        break;
    case TMezzanineKind::Resistance:
        legend.Unit = "Сопротивление, Ом";
        legend.Pins = TPinFamily::Resistance;
        break;
    case TMezzanineKind::None:
    case TMezzanineKind::Unknown: legend.Pins = TPinFamily::Keep; break;
    }
    return legend;
}

} // namespace ksv
