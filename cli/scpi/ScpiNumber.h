// Numbers as SCPI instruments answer them: NR3 with nine significant digits
// (`+1.25000000E-01`), SCPI's not-a-number `+9.91000000E+37` for a value
// that is not there and +-9.9E37 for the infinities. Toolkit-free.
#pragma once

#include <string>

namespace ksv::scpi {

inline constexpr double kNotANumber = 9.91e37;
inline constexpr double kInfinity = 9.9e37;

std::string Nr3(double value);

} // namespace ksv::scpi
