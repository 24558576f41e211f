// Numbers are shown and parsed with '.' as the decimal separator whatever
// the user's locale: the C library's numeric locale and Qt's default locale
// are both set to "C".
#pragma once

namespace ksv {

// Cheap to call again: the C library's locale is touched only when its
// separator is not '.' already (setlocale is not safe while other threads
// format numbers, so it is not called needlessly).
void UseDotDecimalSeparator();

} // namespace ksv
