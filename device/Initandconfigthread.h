// The discovery thread: finds the crates of the local crate server and the
// KSV27 modules in them, chooses and opens one module, restores the window
// position and applies the settings file.
//
// One runs at a time. The window's start-message handler creates it running
// (FreeOnTerminate: it deletes itself after its OnTerminate has run on the
// window's thread). It sees the window only through its IDiscoveryView.
// Library calls of the worker steps run on the worker; every step that
// touches a control runs on the window's thread through Synchronize, and
// steps that run there make their library calls there.
//
// Threads: members marked "window thread" run only there; "worker" only on
// the thread's own body. Data written on one side and read on the other is
// handed over inside a Synchronize (which orders it) or is atomic.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DeviceMessages.h"
#include "DeviceStates.h"
#include "DiscoveryView.h"
#include "ModalDialogs.h"
#include "TThread.h"

class QDialog;
class QWidget;

namespace ksv {

class TIniFile;

class TInitAndConfigThread : public TThread {
public:
    // Starts at once.
    TInitAndConfigThread(IDiscoveryView& view, bool discoveryUsesSavedSettings, TDiscoveryMode discoveryMode);
    ~TInitAndConfigThread() override;

    const bool DiscoveryUsesSavedSettings;
    const TDiscoveryMode DiscoveryMode;
    std::string WantedCrateSerial;
    std::int16_t WantedSlot = 0;
    // Written by the worker's module open, read by the window's status step.
    std::string StatusModuleName;
    std::atomic<bool> StopRequested{false};
    std::unique_ptr<TIniFile> ThreadIniFile;
    std::int16_t SavedCursor = 0;
    QString MessageText;

    // ---- window thread --------------------------------------------------
    void PrepareDiscovery();
    void RestoreWindowPosition();
    bool FindAndOpenModule();
    void FillModulesComboBox(int crate);
    void ApplySettings();
    void ShowThreadMessage();
    void FinishDiscovery();
    bool OpenSettingsFile();
    // Shows the adjusted message dialog modally and returns its result.
    int DiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                               const QStringList& buttonCaptions, const QString& text);

    // ---- worker ---------------------------------------------------------
    bool OpenSelectedModule();
    bool ReopenCrateModule();

    // Test hook: called with the step's name ("PrepareDiscovery",
    // "RestoreWindowPosition", "FindAndOpenModule", "OpenSelectedModule",
    // "ReopenCrateModule", "ShowDeviceStatus", "ApplySettings") as each step
    // begins, on the thread that runs it; a hook that throws fakes a fault
    // in that step. Set it only while no discovery runs.
    static void SetStepHook(std::function<void(const std::string& step)> hook);

protected:
    void Execute() override;

private:
    void Step(const char* name) const;
    void RunModeWork();
    void ShowFinalStatus();
    void RestoreCursor();
    void ChooseWantedModule();
    void ResetDeviceState();
    void ReportException();

    IDiscoveryView& view_;
    bool cursorOverridden_ = false;
};

// Builds the discovery's message dialog: the standard message look at width
// 570, font 12 pt, the error kind in white on orange, the text word-wrapped,
// the buttons centred below the text and the dialog centred over
// `mainWindow`. Not shown; the caller runs it.
std::unique_ptr<QDialog> BuildDiscoveryMessageDialog(const QString& caption, TDialogKind kind, int buttons,
                                                     const QStringList& buttonCaptions, const QString& text,
                                                     QWidget* mainWindow);

} // namespace ksv

// The running discovery thread; null when none runs. Window thread only.
extern ksv::TInitAndConfigThread* InitAndConfigThread;
