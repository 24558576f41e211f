// The device status display: window title, crate and module lamps with their
// hints, and the open module's serial number and firmware version. A
// discovery shows it twice: reset when it begins, final when its mode step
// is done. Window thread.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPalette>

#include "BoundedText.h"
#include "Ksv27mainform.h"
#include "ModuleInventory.h"
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

} // namespace

void TMainForm::ShowDeviceStatus(TStatusKind kind, int mode, const std::string& moduleName)
{
    const bool previousBusy = HandlerBusy;
    HandlerBusy = true;
    const bool final = kind == TStatusKind::Final;

    const QString title = final ? ProgramTitle() : TitleTemplate;
    // The window's caption is the application's title on the desktop. The
    // toolkit's display name is left alone: it would be appended to the
    // caption of every dialog.
    setWindowTitle(title);

    if (!final && mode == 3) {
        KsvCratesComboBox->setCurrentIndex(-1);
        KsvCratesComboBox->clear();
    }

    if (mode == 2 || mode == 3) {
        if (final) {
            const bool ok = CrateStatusOk != 0;
            ShowLamp(KsvCrateStatusLed, ok ? kLampGreen : kLampRed);
            KsvCrateStatusLed->setToolTip(QString::fromUtf8(ok ? "Статус KSV крейта -> OK" : "Статус KSV крейта -> BAD"));
        } else {
            ShowLampNeutral(KsvCrateStatusLed);
            KsvCrateStatusLed->setToolTip(QString::fromUtf8("Статус KSV крейта -> ???"));
        }
    }

    if (mode >= 1 && mode <= 3) {
        if (!final && mode == 3) {
            ModulesComboBox->setCurrentIndex(-1);
            ModulesComboBox->clear();
        }
        const QString name = moduleName.empty() ? QStringLiteral("???") : Utf8(moduleName);
        const bool usable = final && ModuleState == 2;
        if (usable) {
            ShowLamp(ModuleStatusLed, kLampGreen);
            ModuleStatusLed->setToolTip(QString::fromUtf8("Статус модуля '") + name + QStringLiteral("' -> OK"));
        } else if (final) {
            ShowLamp(ModuleStatusLed, kLampRed);
            ModuleStatusLed->setToolTip(QString::fromUtf8("Статус модуля '") + name + QStringLiteral("' -> BAD"));
        } else {
            ShowLampNeutral(ModuleStatusLed);
            ModuleStatusLed->setToolTip(QString::fromUtf8("Статус модуля '") + name + QStringLiteral("'-> ???"));
        }

        ModuleSerialNumberLMDLabel->setText(usable ? Utf8(ksv::FieldText(ModuleRecord.ModuleSerial))
                                                   : QStringLiteral("????????"));
        if (usable) {
            ModuleFirmwareVersionLMDLabel->setText(Utf8(ksv::FirmwareText(ModuleRecord.FirmwareVersion)));
        } else {
            QPalette palette = ModuleFirmwareVersionLMDLabel->palette();
            palette.setColor(QPalette::Window, NeutralColor());
            palette.setColor(QPalette::WindowText, Qt::black);
            ModuleFirmwareVersionLMDLabel->setPalette(palette);
            ModuleFirmwareVersionLMDLabel->setAutoFillBackground(true);
            ModuleFirmwareVersionLMDLabel->setText(QStringLiteral("????????"));
        }
        if (final) ModuleFirmwareVersionLMDLabel->repaint();
    }

    HandlerBusy = previousBusy;
}
