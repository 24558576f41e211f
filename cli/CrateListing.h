// What `list` shows: every crate the server knows and, per crate, each
// KSV27 with its slot, serial number, firmware version and mezzanines.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace ksv::cli {

struct TListedMezzanine {
    std::string Name;   // "U10", "EMPTY", ...
    std::string Serial; // "" when the module reports none
};

struct TListedModule {
    int Slot = 0;        // crate slot 1..16
    bool Opened = false; // false: the slot holds a KSV27 that could not be opened (busy or failing)
    std::string Serial;
    std::string Firmware; // "3.2.1.0"
    std::array<TListedMezzanine, 8> Mezzanines{};
};

struct TListedCrate {
    std::string Serial;
    std::vector<TListedModule> Modules;
};

// Indented text for people.
std::string ListingText(const std::vector<TListedCrate>& crates);
// One JSON object on one line: {"crates":[{"serial":...,"modules":[...]}]}.
std::string ListingJson(const std::vector<TListedCrate>& crates);

} // namespace ksv::cli
