#include "ModuleInventory.h"

#include <cstring>

#include "BoundedText.h"
#include "TKsvApi.h"

namespace ksv {

namespace {

bool EntryEmpty(const TSerial& entry) { return entry[0] == '\0'; }

// A connection prepared by KSV_Init on channel 0; address and port stay as
// the library set them.
KsvCrateConnection PreparedConnection()
{
    KsvCrateConnection connection{};
    KsvApi().KSV_Init(&connection);
    connection.Channel = 0;
    return connection;
}

// The slot list of one crate into `modules`; the connection is closed again
// also when the query fails.
bool QueryCrateModules(KsvCrateConnection& connection, const TSerial& crateSerial,
                       std::uint16_t (&modules)[KSV_MAX_SLOTS])
{
    std::memcpy(connection.CrateSerial, crateSerial, sizeof connection.CrateSerial);
    connection.CrateSerial[sizeof connection.CrateSerial - 1] = '\0';
    std::memset(modules, 0, sizeof modules);
    TKsvApi& api = KsvApi();
    if (api.KSV_Open(&connection) != 0) return false;
    const bool ok = api.KSV_GetCrateModules(&connection, modules) == 0;
    api.KSV_Close(&connection);
    return ok;
}

} // namespace

bool ListCrates(TDeviceInventory& inventory)
{
    std::memset(inventory.CrateSerials, 0, sizeof inventory.CrateSerials);
    KsvCrateConnection connection = PreparedConnection();
    TKsvApi& api = KsvApi();
    bool ok = false;
    if (api.KSV_Open(&connection) == 0) {
        ok = api.KSV_GetCrates(&connection, inventory.CrateSerials) == 0;
        api.KSV_Close(&connection);
    }
    if (!ok) {
        // A failed listing leaves no half-written list behind.
        std::memset(inventory.CrateSerials, 0, sizeof inventory.CrateSerials);
        inventory.CrateCount = 0;
    }
    return ok;
}

TInventoryResult BuildModuleInventory(TDeviceInventory& inventory, Ksv27ModuleRecord& record,
                                      const TProbeSink& onOpened)
{
    if (!ListCrates(inventory)) return TInventoryResult::CrateListingFailed;

    inventory.CrateCount = 0;
    KsvCrateConnection connection = PreparedConnection();
    for (int i = 0; i < KSV_MAX_CRATES && !EntryEmpty(inventory.CrateSerials[i]); ++i) {
        ++inventory.CrateCount;
        if (!QueryCrateModules(connection, inventory.CrateSerials[i], inventory.CrateModuleIds[i]))
            return TInventoryResult::SlotQueryFailed;
    }

    inventory.Ksv27CrateCount = 0;
    std::memset(inventory.Ksv27CrateSerials, 0, sizeof inventory.Ksv27CrateSerials);
    std::memset(inventory.Ksv27Slots, 0, sizeof inventory.Ksv27Slots);
    std::memset(inventory.Ksv27ModuleCount, 0, sizeof inventory.Ksv27ModuleCount);
    std::memset(inventory.Ksv27ModuleSerials, 0, sizeof inventory.Ksv27ModuleSerials);

    int j = 0;
    for (int i = 0; i < inventory.CrateCount; ++i) {
        const std::string crateSerial = FieldText(inventory.CrateSerials[i]);
        for (int k = 0; k < KSV_MAX_SLOTS; ++k) {
            if (inventory.CrateModuleIds[i][k] != KSV27_MODULE_ID) continue;
            if (!OpenModule(record, crateSerial, k + 1)) continue;
            const int m = inventory.Ksv27ModuleCount[j];
            std::memcpy(inventory.Ksv27ModuleSerials[j][m], record.ModuleSerial, sizeof(TSerial));
            inventory.Ksv27Slots[j][m] = static_cast<std::uint16_t>(k + 1);
            ++inventory.Ksv27ModuleCount[j];
            if (onOpened) onOpened(j, k + 1, record);
        }
        if (inventory.Ksv27ModuleCount[j] > 0) {
            std::memcpy(inventory.Ksv27CrateSerials[j], inventory.CrateSerials[i], sizeof(TSerial));
            ++j;
        }
    }
    inventory.Ksv27CrateCount = static_cast<std::uint16_t>(j);
    CloseModuleIfOpen(record);
    return TInventoryResult::Ok;
}

bool OpenModule(Ksv27ModuleRecord& record, const std::string& crateSerial, int slot)
{
    TKsvApi& api = KsvApi();
    CloseModuleIfOpen(record);
    api.KSV27_Init(&record);
    if (api.KSV27_Open(&record, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, crateSerial.c_str(), slot) != 0)
        return false;
    if (api.KSV27_GetConfig(&record) != 0) return false;
    return api.KSV27_GetDescription(&record, KSV27_DESCRIPTION_MASK) == 0;
}

void CloseModuleIfOpen(Ksv27ModuleRecord& record)
{
    TKsvApi& api = KsvApi();
    if (api.KSV27_IsOpened(&record) == 0) api.KSV27_Close(&record);
}

int ChooseCrate(const TDeviceInventory& inventory, const std::string& wantedSerial)
{
    for (int c = 0; c < inventory.Ksv27CrateCount && c < KSV_MAX_CRATES; ++c)
        if (FieldText(inventory.Ksv27CrateSerials[c]) == wantedSerial) return c;
    return 0;
}

void ChooseCrateAndModules(TDeviceInventory& inventory, const std::string& wantedSerial, int wantedSlot)
{
    const int selected = ChooseCrate(inventory, wantedSerial);
    inventory.SelectedCrate = static_cast<std::int16_t>(selected);
    std::memset(inventory.SelectedModuleInCrate, 0, sizeof inventory.SelectedModuleInCrate);
    if (!ValidCrateIndex(inventory, selected)) return;
    if (FieldText(inventory.Ksv27CrateSerials[selected]) != wantedSerial) return;
    for (int m = 0; m < Ksv27ModuleCountOf(inventory, selected); ++m) {
        if (inventory.Ksv27Slots[selected][m] == wantedSlot) {
            inventory.SelectedModuleInCrate[selected] = static_cast<std::int16_t>(m);
            return;
        }
    }
}

bool ValidCrateIndex(const TDeviceInventory& inventory, int crate)
{
    return crate >= 0 && crate < inventory.Ksv27CrateCount && crate < KSV_MAX_CRATES;
}

int Ksv27ModuleCountOf(const TDeviceInventory& inventory, int crate)
{
    if (!ValidCrateIndex(inventory, crate)) return 0;
    const int count = inventory.Ksv27ModuleCount[crate];
    return count < KSV_MAX_SLOTS ? count : KSV_MAX_SLOTS;
}

bool ValidModuleIndex(const TDeviceInventory& inventory, int crate, int module)
{
    return module >= 0 && module < Ksv27ModuleCountOf(inventory, crate);
}

std::string Ksv27CrateSerial(const TDeviceInventory& inventory, int crate)
{
    return ValidCrateIndex(inventory, crate) ? FieldText(inventory.Ksv27CrateSerials[crate]) : std::string();
}

std::string Ksv27ModuleSerial(const TDeviceInventory& inventory, int crate, int module)
{
    return ValidModuleIndex(inventory, crate, module) ? FieldText(inventory.Ksv27ModuleSerials[crate][module])
                                                      : std::string();
}

int Ksv27ModuleSlot(const TDeviceInventory& inventory, int crate, int module)
{
    return ValidModuleIndex(inventory, crate, module) ? inventory.Ksv27Slots[crate][module] : -1;
}

bool SelectedModuleAddress(const TDeviceInventory& inventory, std::string& crateSerial, int& slot)
{
    const int crate = inventory.SelectedCrate;
    if (!ValidCrateIndex(inventory, crate)) return false;
    const int module = inventory.SelectedModuleInCrate[crate];
    if (!ValidModuleIndex(inventory, crate, module)) return false;
    crateSerial = Ksv27CrateSerial(inventory, crate);
    slot = inventory.Ksv27Slots[crate][module];
    return true;
}

std::string CrateItemText(int crate, const std::string& serial) { return std::to_string(crate + 1) + ": " + serial; }

std::string ModuleItemText(int slot) { return "Слот " + std::to_string(slot) + ": KSV27"; }

std::string FirmwareText(std::uint32_t firmwareVersion)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!text.empty()) text += '.';
        text += std::to_string((firmwareVersion >> shift) & 0xFFu);
    }
    return text;
}

} // namespace ksv
