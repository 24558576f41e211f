// The device status display: window title, crate and module lamps with their
// hints, and the open module's serial number and firmware version. A
// discovery shows it twice: reset when it begins, final when its mode step
// is done. Window thread.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPalette>

#include "DeviceStatusView.h"
#include "Ksv27mainform.h"
#include "TBusyScope.h"
#include "TLed.h"
#include "Version.h"

namespace {

const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);

QColor NeutralColor() { return QApplication::palette().color(QPalette::Button); }

// A lamp shows `color` lit; the neutral state is the lamp unlit in the
// button-face colour.
void ShowLamp(TLed* lamp, const QColor& color)
{
    lamp->setOnColor(color);
    lamp->setLit(true);
}

void ShowLampNeutral(TLed* lamp)
{
    lamp->setOffColor(NeutralColor());
    lamp->setLit(false);
}

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "KSV27_vorn - " and the program's own version: major, minor, release.
QString ProgramTitle()
{
    return QStringLiteral("KSV27_vorn - %1.%2.%3")
        .arg(KSV27_VERSION_MAJOR)
        .arg(KSV27_VERSION_MINOR)
        .arg(KSV27_VERSION_RELEASE);
}

void ShowLampView(TLed* lamp, const ksv::TStatusLampView& view)
{
    switch (view.Lamp) {
    case ksv::TStatusLamp::Green: ShowLamp(lamp, kLampGreen); break;
    case ksv::TStatusLamp::Red: ShowLamp(lamp, kLampRed); break;
    case ksv::TStatusLamp::Neutral: ShowLampNeutral(lamp); break;
    }
    lamp->setToolTip(Utf8(view.Hint));
}

void ClearList(QComboBox* combo)
{
    combo->setCurrentIndex(-1);
    combo->clear();
}

} // namespace

void TMainForm::ShowDeviceStatus(TStatusKind kind, int mode, const std::string& moduleName)
{
    const ksv::TBusyScope busy(*this);
    const ksv::TDeviceStatusView view = ksv::DeviceStatusView(kind == TStatusKind::Final, mode, moduleName,
                                                              CrateStatusOk != 0, ModuleState, ModuleRecord);

    // The window's caption is the application's title on the desktop. The
    // toolkit's display name is left alone: it would be appended to the
    // caption of every dialog.
    setWindowTitle(view.Final ? ProgramTitle() : TitleTemplate);

    if (view.ClearLists) ClearList(KsvCratesComboBox);
    if (view.ShowCrate) ShowLampView(KsvCrateStatusLed, view.Crate);
    if (view.ShowModule) {
        if (view.ClearLists) ClearList(ModulesComboBox);
        ShowLampView(ModuleStatusLed, view.Module);
        ModuleSerialNumberLMDLabel->setText(Utf8(view.Serial));
        if (!view.ModuleUsable) {
            QPalette palette = ModuleFirmwareVersionLMDLabel->palette();
            palette.setColor(QPalette::Window, NeutralColor());
            palette.setColor(QPalette::WindowText, Qt::black);
            ModuleFirmwareVersionLMDLabel->setPalette(palette);
            ModuleFirmwareVersionLMDLabel->setAutoFillBackground(true);
        }
        ModuleFirmwareVersionLMDLabel->setText(Utf8(view.Firmware));
        if (view.Final) ModuleFirmwareVersionLMDLabel->repaint();
    }
}
