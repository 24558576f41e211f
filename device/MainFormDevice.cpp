// Window-side device access: the guarded discovery request, the handler of
// the discovery start message with its hand-shake, and the three user
// triggers (find button, crate and module combo boxes). All on the window's
// thread.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "Ksv27mainform.h"
#include "ModuleInventory.h"
#include "TWorkerLifecycle.h"

namespace {

// The HandlerBusy guard of a user-event handler: Enter() refuses while the
// window is busy, and the destructor clears the flag on every path out of a
// handler that entered.
class THandlerGuard {
public:
    explicit THandlerGuard(TMainForm& form) : form_(form) {}
    ~THandlerGuard()
    {
        if (entered_) form_.HandlerBusy = false;
    }
    THandlerGuard(const THandlerGuard&) = delete;
    THandlerGuard& operator=(const THandlerGuard&) = delete;
    bool Enter()
    {
        if (form_.HandlerBusy) return false;
        form_.HandlerBusy = true;
        entered_ = true;
        return true;
    }

private:
    TMainForm& form_;
    bool entered_ = false;
};

} // namespace

void TMainForm::StartDiscovery(int mode, bool useSaved) { Workers->RequestDiscovery(mode, useSaved); }

void TMainForm::OnStartInitDevicesThread(const ksv::TWindowMessage& message)
{
    Workers->StartDiscoveryThread(static_cast<int>(message.WParam), message.LParam != 0);
}

void TMainForm::WaitForDiscoveryToEnd() { Workers->WaitForDiscoveryToEnd(); }

void TMainForm::FindDeviceLMDButtonClick()
{
    THandlerGuard guard(*this);
    if (!guard.Enter()) return;
    StopMeasurement();
    AllSlotsLMDCheckBox->setCheckState(Qt::Unchecked);
    for (int slot = 0; slot < 8; ++slot) ResetSlotDisplay(slot);
    StartDiscovery(3, false);
}

void TMainForm::KsvCratesComboBoxChange()
{
    THandlerGuard guard(*this);
    if (!guard.Enter()) return;
    const int index = KsvCratesComboBox->currentIndex();
    if (index == Inventory.SelectedCrate) return;
    // No item (a cleared list) or one the inventory does not hold selects nothing.
    if (!ksv::ValidCrateIndex(Inventory, index)) return;
    StopMeasurement();
    Inventory.SelectedCrate = static_cast<std::int16_t>(index);
    StartDiscovery(2, false);
}

void TMainForm::ModulesComboBoxChange()
{
    THandlerGuard guard(*this);
    if (!guard.Enter()) return;
    const int crate = KsvCratesComboBox->currentIndex();
    const int module = ModulesComboBox->currentIndex();
    if (!ksv::ValidModuleIndex(Inventory, crate, module)) return;
    const std::string serial = ksv::Ksv27ModuleSerial(Inventory, crate, module);
    if (QString::fromUtf8(serial.data(), static_cast<qsizetype>(serial.size())) == ModuleSerialNumberLMDLabel->text())
        return; // the module that is open already
    if (!ksv::ValidModuleIndex(Inventory, Inventory.SelectedCrate, module)) return;
    StopMeasurement();
    Inventory.SelectedModuleInCrate[Inventory.SelectedCrate] = static_cast<std::int16_t>(module);
    StartDiscovery(1, false);
}
