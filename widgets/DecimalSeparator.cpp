#include "DecimalSeparator.h"

#include <QLocale>
#include <clocale>
#include <cstring>

namespace ksv {

void UseDotDecimalSeparator()
{
    const std::lconv* conventions = std::localeconv();
    if (!conventions || std::strcmp(conventions->decimal_point, ".") != 0) std::setlocale(LC_NUMERIC, "C");
    if (QLocale() != QLocale::c()) QLocale::setDefault(QLocale::c());
}

} // namespace ksv
