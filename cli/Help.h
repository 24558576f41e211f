// The text of ksv27-vorn-cli --help.
#pragma once

#include <string>

namespace ksv::cli {

std::string HelpText();

} // namespace ksv::cli
