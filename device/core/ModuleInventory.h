// The crate-system steps of a discovery that do not touch the window:
// listing the crates, probing their KSV27 modules into the device inventory,
// opening one module, choosing the wanted crate and module, and the texts
// that the window shows for them.
//
// Toolkit-free; every library call goes through ksv::KsvApi(). Every string
// read from a library record is read bounded by its field, and every index
// that comes from the window (a selection, a combo item) is checked against
// the inventory's counts before it touches an array.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "DeviceInventory.h"
#include "ksvapi.h"

namespace ksv {

// Zero-fills CrateSerials, then KSV_Init, Channel = 0, KSV_Open,
// KSV_GetCrates, KSV_Close. True when KSV_Open and KSV_GetCrates both
// returned 0; an empty list is still success. On failure CrateSerials is
// left zero (also when the library wrote part of it) and CrateCount is 0.
bool ListCrates(TDeviceInventory& inventory);

enum class TInventoryResult {
    Ok,
    CrateListingFailed, // KSV_Open or KSV_GetCrates failed; nothing but CrateSerials/CrateCount changed
    SlotQueryFailed,    // a crate's connection or slot query failed; the crate part is half written
};

// Lists the crates, queries the slots of each, and probes every slot that
// holds a KSV27 with the module open sequence; the modules that open make
// up the KSV27 part of the inventory, in listing and slot order. The module
// is closed at the end. SelectedCrate and SelectedModuleInCrate are left as
// they were. `onOpened`, when given, sees the record of every module that
// opened, with its KSV27 crate index and slot, before the next probe.
using TProbeSink = std::function<void(int ksv27Crate, int slot, const Ksv27ModuleRecord& record)>;
TInventoryResult BuildModuleInventory(TDeviceInventory& inventory, Ksv27ModuleRecord& record,
                                      const TProbeSink& onOpened = {});

// The module open sequence: KSV27_Close when KSV27_IsOpened says open, then
// KSV27_Init, KSV27_Open (127.0.0.1:11111, crateSerial, slot),
// KSV27_GetConfig, KSV27_GetDescription(0x1FF). The first nonzero status is
// a failure; the record may then stay open.
bool OpenModule(Ksv27ModuleRecord& record, const std::string& crateSerial, int slot);

// KSV27_Close when KSV27_IsOpened says the module is open.
void CloseModuleIfOpen(Ksv27ModuleRecord& record);

// The first KSV27 crate whose serial is `wantedSerial`; 0 when none is.
int ChooseCrate(const TDeviceInventory& inventory, const std::string& wantedSerial);

// Sets SelectedCrate by ChooseCrate and SelectedModuleInCrate: all 16 are 0,
// except that of the selected crate, which becomes the first module in
// `wantedSlot` when the selected crate is the wanted one.
void ChooseCrateAndModules(TDeviceInventory& inventory, const std::string& wantedSerial, int wantedSlot);

// The crate serial and slot of the module chosen in the selected crate.
// False (and nothing written) when SelectedCrate or the crate's chosen
// module index lies outside the inventory.
bool SelectedModuleAddress(const TDeviceInventory& inventory, std::string& crateSerial, int& slot);

// Bounded reads of the inventory; empty / -1 outside its counts.
std::string Ksv27CrateSerial(const TDeviceInventory& inventory, int crate);
std::string Ksv27ModuleSerial(const TDeviceInventory& inventory, int crate, int module);
int Ksv27ModuleSlot(const TDeviceInventory& inventory, int crate, int module);
// The modules of a KSV27 crate; 0 outside the crate count.
int Ksv27ModuleCountOf(const TDeviceInventory& inventory, int crate);
bool ValidCrateIndex(const TDeviceInventory& inventory, int crate);
bool ValidModuleIndex(const TDeviceInventory& inventory, int crate, int module);

// Item texts of the two combo boxes: "<crate + 1>: <serial>", "Слот <slot>: KSV27".
std::string CrateItemText(int crate, const std::string& serial);
std::string ModuleItemText(int slot);

// The firmware word as its four bytes, most significant first: "1.2.3.4".
std::string FirmwareText(std::uint32_t firmwareVersion);

} // namespace ksv
