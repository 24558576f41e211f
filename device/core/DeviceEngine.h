// The device side of the measurement engine: find the crates and their KSV27
// modules, choose one, open it with its configuration and description, close
// it. Toolkit-free, no thread of its own, no sleeps; every call is
// synchronous and returns when the libraries have answered.
//
// The engine works on an inventory and a module record that the caller owns
// (the window keeps both as its own state) or on its own pair. It is used by
// one thread at a time.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "DeviceInventory.h"
#include "DeviceMessages.h"
#include "EngineStatus.h"
#include "ksvapi.h"

namespace ksv {

struct TMezzanineInfo {
    std::string Name;   // as the module reports it: "U10", "EMPTY", ...
    std::string Serial; // from the module's description; may be empty
};

// One KSV27 that opened while the crates were probed.
struct TModuleInfo {
    int Crate = 0; // index among the crates that hold a KSV27 (the window's crate list)
    std::string CrateSerial;
    int Slot = 0; // crate slot, from 1
    std::string ModuleSerial;
    std::string ModuleName;
    std::string Firmware; // "1.2.3.4"
    std::array<TMezzanineInfo, KSV27_MEZZANINES> Mezzanines{};
};

class TDeviceEngine {
public:
    // Own inventory and record.
    TDeviceEngine();
    // The caller's; both must outlive the engine.
    TDeviceEngine(TDeviceInventory& inventory, Ksv27ModuleRecord& record);
    ~TDeviceEngine();
    TDeviceEngine(const TDeviceEngine&) = delete;
    TDeviceEngine& operator=(const TDeviceEngine&) = delete;

    // A full discovery's library part: list the crates (every limit of the
    // inventory holds), probe every KSV27, then choose the wanted crate and
    // slot (crate 0 / module 0 when they are not there). The module is left
    // closed. Failures: discovery_text::kNoCrate when the crate listing
    // fails; a silent failure (empty text) when a crate's slot query fails;
    // discovery_text::kNoKsv27 when no KSV27 opened in any crate.
    TEngineStatus FindModules(const std::string& wantedCrateSerial, int wantedSlot);

    // Chooses module `module` of KSV27 crate `crate` (indexes of the window's
    // two lists); false, and nothing changed, when either lies outside the
    // inventory.
    bool Choose(int crate, int module);

    // Opens the chosen module: close when open, init, open at the crate
    // server, read the configuration and the description. A failure is
    // silent (empty text): the window's text for it depends on the mode.
    TEngineStatus OpenChosenModule();

    // Closes the module when it is open.
    void CloseModule();
    bool ModuleOpen() const;

    // Every crate the server listed in the last FindModules, KSV27 or not.
    std::vector<std::string> ListedCrates() const;
    // The KSV27 modules that opened in the last FindModules, in crate and slot order.
    const std::vector<TModuleInfo>& Modules() const { return modules_; }

    // The chosen module's address; empty / -1 when nothing is chosen.
    std::string ChosenCrateSerial() const;
    int ChosenSlot() const;

    // Read from the record of the open module.
    std::string ModuleName() const;
    std::string ModuleSerial() const;
    std::string FirmwareVersionText() const;

    TDeviceInventory& Inventory() { return inventory_; }
    const TDeviceInventory& Inventory() const { return inventory_; }
    Ksv27ModuleRecord& Record() { return record_; }
    const Ksv27ModuleRecord& Record() const { return record_; }

private:
    struct TOwned;
    std::unique_ptr<TOwned> owned_;
    TDeviceInventory& inventory_;
    Ksv27ModuleRecord& record_;
    std::vector<TModuleInfo> modules_;
};

// What the record says of its module and mezzanines (names and serials read
// bounded by their fields).
TModuleInfo DescribeModule(const Ksv27ModuleRecord& record, const std::string& crateSerial, int slot);

} // namespace ksv
