#include <cstdio>

#include "Commands.h"

namespace ksv::cli {

void PrintError(const std::string& text)
{
    const std::string line = "ksv27-vorn-cli: " + text + '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace ksv::cli
