#include "CrateListing.h"

#include "JsonText.h"

namespace ksv::cli {

namespace {

std::string ModuleText(const TListedModule& module)
{
    std::string out = "  slot " + std::to_string(module.Slot) + ": KSV27";
    if (!module.Opened) return out + " (cannot be opened: in use or failing)\n";
    out += " serial " + module.Serial + ", firmware " + module.Firmware + '\n';
    for (std::size_t m = 0; m < module.Mezzanines.size(); ++m) {
        const TListedMezzanine& mezzanine = module.Mezzanines[m];
        out += "    mezzanine " + std::to_string(m + 1) + ": " + mezzanine.Name;
        if (!mezzanine.Serial.empty()) out += " (S/N " + mezzanine.Serial + ")";
        out += '\n';
    }
    return out;
}

std::string ModuleJson(const TListedModule& module)
{
    std::string out = "{\"slot\":" + std::to_string(module.Slot) + ",\"opened\":" + (module.Opened ? "true" : "false");
    if (module.Opened) {
        out += ",\"serial\":" + JsonString(module.Serial) + ",\"firmware\":" + JsonString(module.Firmware);
        out += ",\"mezzanines\":[";
        for (std::size_t m = 0; m < module.Mezzanines.size(); ++m) {
            if (m) out += ',';
            out += "{\"slot\":" + std::to_string(m + 1) + ",\"name\":" + JsonString(module.Mezzanines[m].Name) +
                   ",\"serial\":" + JsonString(module.Mezzanines[m].Serial) + '}';
        }
        out += ']';
    }
    return out + '}';
}

} // namespace

std::string ListingText(const std::vector<TListedCrate>& crates)
{
    std::string out;
    for (std::size_t c = 0; c < crates.size(); ++c) {
        out += "crate " + std::to_string(c + 1) + ": " + crates[c].Serial + '\n';
        if (crates[c].Modules.empty()) out += "  no KSV27\n";
        for (const TListedModule& module : crates[c].Modules) out += ModuleText(module);
    }
    return out;
}

std::string ListingJson(const std::vector<TListedCrate>& crates)
{
    std::string out = "{\"crates\":[";
    for (std::size_t c = 0; c < crates.size(); ++c) {
        if (c) out += ',';
        out += "{\"serial\":" + JsonString(crates[c].Serial) + ",\"modules\":[";
        for (std::size_t m = 0; m < crates[c].Modules.size(); ++m) {
            if (m) out += ',';
            out += ModuleJson(crates[c].Modules[m]);
        }
        out += "]}";
    }
    return out + "]}\n";
}

} // namespace ksv::cli
