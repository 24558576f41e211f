#include "DeviceEngine.h"

#include "BoundedText.h"
#include "ModuleInventory.h"
#include "TKsvApi.h"

namespace ksv {

struct TDeviceEngine::TOwned {
    TDeviceInventory Inventory;
    Ksv27ModuleRecord Record{};
};

TDeviceEngine::TDeviceEngine()
    : owned_(std::make_unique<TOwned>()), inventory_(owned_->Inventory), record_(owned_->Record)
{
}

TDeviceEngine::TDeviceEngine(TDeviceInventory& inventory, Ksv27ModuleRecord& record)
    : inventory_(inventory), record_(record)
{
}

TDeviceEngine::~TDeviceEngine() = default;

TEngineStatus TDeviceEngine::FindModules(const std::string& wantedCrateSerial, int wantedSlot)
{
    modules_.clear();
    const auto collect = [this](int crate, int slot, const Ksv27ModuleRecord& record) {
        TModuleInfo info = DescribeModule(record, {}, slot);
        info.Crate = crate;
        modules_.push_back(std::move(info));
    };
    switch (BuildModuleInventory(inventory_, record_, collect)) {
    case TInventoryResult::Ok: break;
    case TInventoryResult::CrateListingFailed: return TEngineStatus::Failure(discovery_text::kNoCrate);
    case TInventoryResult::SlotQueryFailed: return TEngineStatus::Failure();
    }
    // The crate's serial is known only once the crate turned out to hold a KSV27.
    for (TModuleInfo& info : modules_) info.CrateSerial = Ksv27CrateSerial(inventory_, info.Crate);
    if (inventory_.Ksv27CrateCount == 0) return TEngineStatus::Failure(discovery_text::kNoKsv27);
    ChooseCrateAndModules(inventory_, wantedCrateSerial, wantedSlot);
    return TEngineStatus::Success();
}

bool TDeviceEngine::Choose(int crate, int module)
{
    if (!ValidModuleIndex(inventory_, crate, module)) return false;
    inventory_.SelectedCrate = static_cast<std::int16_t>(crate);
    inventory_.SelectedModuleInCrate[crate] = static_cast<std::int16_t>(module);
    return true;
}

TEngineStatus TDeviceEngine::OpenChosenModule()
{
    std::string crateSerial;
    int slot = 0;
    if (!SelectedModuleAddress(inventory_, crateSerial, slot)) return TEngineStatus::Failure();
    if (!OpenModule(record_, crateSerial, slot)) return TEngineStatus::Failure();
    return TEngineStatus::Success();
}

void TDeviceEngine::CloseModule() { CloseModuleIfOpen(record_); }

bool TDeviceEngine::ModuleOpen() const
{
    // The library takes the record by a non-const pointer but only reads it here.
    return KsvApi().KSV27_IsOpened(const_cast<Ksv27ModuleRecord*>(&record_)) == 0;
}

std::vector<std::string> TDeviceEngine::ListedCrates() const
{
    std::vector<std::string> crates;
    for (int i = 0; i < KSV_MAX_CRATES && inventory_.CrateSerials[i][0] != '\0'; ++i)
        crates.push_back(FieldText(inventory_.CrateSerials[i]));
    return crates;
}

std::string TDeviceEngine::ChosenCrateSerial() const
{
    std::string crateSerial;
    int slot = 0;
    return SelectedModuleAddress(inventory_, crateSerial, slot) ? crateSerial : std::string();
}

int TDeviceEngine::ChosenSlot() const
{
    std::string crateSerial;
    int slot = 0;
    return SelectedModuleAddress(inventory_, crateSerial, slot) ? slot : -1;
}

std::string TDeviceEngine::ModuleName() const { return FieldText(record_.ModuleName); }
std::string TDeviceEngine::ModuleSerial() const { return FieldText(record_.ModuleSerial); }
std::string TDeviceEngine::FirmwareVersionText() const { return FirmwareText(record_.FirmwareVersion); }

TModuleInfo DescribeModule(const Ksv27ModuleRecord& record, const std::string& crateSerial, int slot)
{
    TModuleInfo info;
    info.CrateSerial = crateSerial;
    info.Slot = slot;
    info.ModuleSerial = FieldText(record.ModuleSerial);
    info.ModuleName = FieldText(record.ModuleName);
    info.Firmware = FirmwareText(record.FirmwareVersion);
    auto& writable = const_cast<Ksv27ModuleRecord&>(record); // the accessor is C and not const
    for (int m = 0; m < KSV27_MEZZANINES; ++m) {
        info.Mezzanines[static_cast<std::size_t>(m)].Name = FieldText(record.Mezzanines[m].MezzanineName);
        info.Mezzanines[static_cast<std::size_t>(m)].Serial = FieldText(Ksv27MezzanineDescOf(&writable, m)->MezzanineSerial);
    }
    return info;
}

} // namespace ksv
