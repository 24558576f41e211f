// The text of ksv27-vorn-cli --help.
#pragma once

namespace ksv::cli {

const char* HelpText();

} // namespace ksv::cli
