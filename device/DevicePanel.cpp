#include "DevicePanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ControlEnabling.h"
#include "DeviceStatusView.h"
#include "HandlerGuard.h"
#include "ModuleInventory.h"
#include "TLed.h"
#include "Version.h"

namespace ksv {

namespace {

const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);

QColor NeutralColor() { return QApplication::palette().color(QPalette::Button); }

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "KSV27_vorn - " and the program's own version: major, minor, release.
QString ProgramTitle()
{
    return QStringLiteral("KSV27_vorn - %1.%2.%3")
        .arg(KSV27_VERSION_MAJOR)
        .arg(KSV27_VERSION_MINOR)
        .arg(KSV27_VERSION_RELEASE);
}

// A lamp shows green or red lit; the neutral state is the lamp unlit in the
// button-face colour.
void ShowLampView(TLed* lamp, const TStatusLampView& view)
{
    switch (view.Lamp) {
    case TStatusLamp::Green:
    case TStatusLamp::Red:
        lamp->setOnColor(view.Lamp == TStatusLamp::Green ? kLampGreen : kLampRed);
        lamp->setLit(true);
        break;
    case TStatusLamp::Neutral:
        lamp->setOffColor(NeutralColor());
        lamp->setLit(false);
        break;
    }
    lamp->setToolTip(Utf8(view.Hint));
}

void ClearList(QComboBox* combo)
{
    combo->setCurrentIndex(-1);
    combo->clear();
}

} // namespace

TDevicePanel::TDevicePanel(const TDeviceControls& controls, TWindowState& state, TDeviceActions actions)
    : c_(controls), shared_(state), actions_(std::move(actions))
{
}

void TDevicePanel::FindDeviceLMDButtonClick()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (!handler.Entered()) return;
    actions_.StopMeasurement();
    actions_.ResetSlots();
    actions_.StartDiscovery(TDiscoveryMode::Full, false);
}

void TDevicePanel::KsvCratesComboBoxChange()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (handler.Entered()) ChooseCrate(c_.KsvCratesComboBox->currentIndex());
}

void TDevicePanel::ChooseCrate(int index)
{
    TDeviceInventory& inventory = device_.Inventory;
    // No item (a cleared list) or one the inventory does not hold selects nothing.
    if (index == inventory.SelectedCrate || !ValidCrateIndex(inventory, index)) return;
    actions_.StopMeasurement();
    inventory.SelectedCrate = static_cast<std::int16_t>(index);
    actions_.StartDiscovery(TDiscoveryMode::CrateChanged, false);
}

void TDevicePanel::ModulesComboBoxChange()
{
    const THandlerScope handler(shared_.HandlerBusy);
    if (handler.Entered()) ChooseModule(c_.KsvCratesComboBox->currentIndex(), c_.ModulesComboBox->currentIndex());
}

void TDevicePanel::ChooseModule(int crate, int module)
{
    TDeviceInventory& inventory = device_.Inventory;
    if (!ValidModuleIndex(inventory, crate, module)) return;
    if (Utf8(Ksv27ModuleSerial(inventory, crate, module)) == c_.ModuleSerialNumberLMDLabel->text())
        return; // the module that is open already
    if (!ValidModuleIndex(inventory, inventory.SelectedCrate, module)) return;
    actions_.StopMeasurement();
    inventory.SelectedModuleInCrate[inventory.SelectedCrate] = static_cast<std::int16_t>(module);
    actions_.StartDiscovery(TDiscoveryMode::ModuleChanged, false);
}

void TDevicePanel::ShowUnknown()
{
    c_.ModuleSerialNumberLMDLabel->setText(QStringLiteral("????????"));
    c_.ModuleFirmwareVersionLMDLabel->setText(QStringLiteral("??.??.??.??"));
    c_.ModuleStatusLed->setToolTip(QStringLiteral("Статус модуля -> ???"));
}

void TDevicePanel::ShowDeviceStatus(TStatusKind kind, TDiscoveryMode mode, const std::string& moduleName)
{
    const TBusyScope busy(shared_.HandlerBusy);
    const TDeviceStatusView view = DeviceStatusView(kind == TStatusKind::Final, mode, moduleName, device_.CrateStatusOk != 0,
                                                    static_cast<TModuleState>(device_.ModuleState.load()),
                                                    device_.ModuleRecord);

    // The window's caption is the application's title on the desktop. The
    // toolkit's display name is left alone: it would be appended to the
    // caption of every dialog.
    c_.Window->setWindowTitle(view.Final ? ProgramTitle() : TitleTemplate);

    if (view.ClearLists) ClearList(c_.KsvCratesComboBox);
    if (view.ShowCrate) ShowLampView(c_.KsvCrateStatusLed, view.Crate);
    if (!view.ShowModule) return;
    if (view.ClearLists) ClearList(c_.ModulesComboBox);
    ShowLampView(c_.ModuleStatusLed, view.Module);
    ShowModuleLabels(view.Serial, view.Firmware, view.ModuleUsable, view.Final);
}

void TDevicePanel::ShowModuleLabels(const std::string& serial, const std::string& firmware, bool usable, bool final)
{
    c_.ModuleSerialNumberLMDLabel->setText(Utf8(serial));
    QLabel* version = c_.ModuleFirmwareVersionLMDLabel;
    if (!usable) {
        QPalette palette = version->palette();
        palette.setColor(QPalette::Window, NeutralColor());
        palette.setColor(QPalette::WindowText, Qt::black);
        version->setPalette(palette);
        version->setAutoFillBackground(true);
    }
    version->setText(Utf8(firmware));
    if (final) version->repaint();
}

void TDevicePanel::ShowCrateList(const QStringList& items, int current)
{
    FillList(c_.KsvCratesComboBox, items, current);
}

void TDevicePanel::ShowModuleList(const QStringList& items, int current)
{
    FillList(c_.ModulesComboBox, items, current);
}

void TDevicePanel::FillList(QComboBox* combo, const QStringList& items, int current)
{
    const TBusyScope busy(shared_.HandlerBusy);
    ClearList(combo);
    combo->addItems(items);
    // The list shows every item without scrolling; the toolkit wants at least one row.
    combo->setMaxVisibleItems(items.isEmpty() ? 1 : static_cast<int>(items.size()));
    combo->setCurrentIndex(current);
}

void TDevicePanel::SetDetectionControlsEnabled(bool enabled)
{
    const TBusyScope busy(shared_.HandlerBusy);
    SetControlsEnabled(c_.ModuleDetectionLMDGroupBox, enabled);
    SetControlsEnabled(c_.MainLMDSimplePanel, enabled);
}

void TDevicePanel::EnableDetection() { SetControlsEnabled(c_.ModuleDetectionLMDGroupBox, true); }

} // namespace ksv
