#include "SlotPicture.h"

#include "BoundedText.h"
#include "MezzanineKind.h"

namespace ksv {

std::array<std::string, KSV27_MEZZANINES> MezzanineNames(const Ksv27ModuleRecord& record)
{
    std::array<std::string, KSV27_MEZZANINES> names;
    for (std::size_t s = 0; s < names.size(); ++s) names[s] = FieldText(record.Mezzanines[s].MezzanineName);
    return names;
}

TSlotPicture TakeSlotPicture(const Ksv27ModuleRecord& record, const std::array<bool, KSV27_MEZZANINES>& checked)
{
    TSlotPicture picture;
    picture.Names = MezzanineNames(record);
    for (std::size_t s = 0; s < picture.Names.size(); ++s) {
        picture.Active[s] = checked[s] && IsFittedName(picture.Names[s]);
        if (picture.Active[s]) picture.ActiveChannelCount += 2;
    }
    return picture;
}

} // namespace ksv
