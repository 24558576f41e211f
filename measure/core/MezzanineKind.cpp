#include "MezzanineKind.h"

namespace ksv {

TMezzanineKind MezzanineKindOf(std::string_view name)
{
    if (name == "EMPTY" || name == "UDEF") return TMezzanineKind::None;
    if (name == "U01" || name == "U10" || name == "U20") return TMezzanineKind::Voltage;
    if (name == "T") return TMezzanineKind::Temperature;
    if (name == "I5" || name == "I10" || name == "I20") return TMezzanineKind::Current;
    if (name == "R100" || name == "R250") return TMezzanineKind::Resistance;
    return TMezzanineKind::Unknown;
}

bool IsFittedName(std::string_view name) { return IsFitted(MezzanineKindOf(name)); }

} // namespace ksv
