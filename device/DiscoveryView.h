// What the discovery thread sees of the window: the device state it reads
// and writes, the controls it fills and enables, the settings it applies and
// the window position it restores. The window implements it.
//
// Threads: the state calls are safe from the worker (atomic, or handed over
// inside a Synchronize, which orders them); every other call runs on the
// window's thread only.
#pragma once

#include <QPoint>
#include <QRect>
#include <QStringList>
#include <string>

#include "DeviceEngine.h"
#include "DeviceInventory.h"
#include "DeviceStates.h"
#include "WorkerView.h"

class QWidget;

namespace ksv {

class TIniFile;
struct TDefaultFileOutcome;

// The device status display's two moments: reset as a discovery begins,
// final once its mode step is done.
enum class TStatusKind {
    Reset,
    Final
};

// The device panel's half of the view: what a discovery shows in the
// status display, the two lists and the detection controls. Window's thread.
class IDiscoveryDisplay {
public:
    virtual void SetDetectionControlsEnabled(bool enabled) = 0;
    virtual void ShowDeviceStatus(TStatusKind kind, TDiscoveryMode mode, const std::string& moduleName) = 0;
    // A list's items and its selection (-1: none); the list shows them all.
    virtual void ShowCrateList(const QStringList& items, int current) = 0;
    virtual void ShowModuleList(const QStringList& items, int current) = 0;

protected:
    ~IDiscoveryDisplay() = default;
};

class IDiscoveryView : public IWorkerView {
public:
    // ---- state (any thread) ---------------------------------------------
    virtual void SetDiscoveryRunning(bool running) = 0;
    virtual TModuleState ModuleStateNow() const = 0;
    virtual void SetModuleState(TModuleState state) = 0;
    virtual void SetCrateStatusOk(bool ok) = 0;
    virtual TDeviceInventory& DeviceInventory() = 0;
    virtual TDeviceEngine& Engine() = 0;

    // ---- the window's thread ----------------------------------------------
    // The multimeter page in front, the page control and START out of reach.
    virtual void ShowDiscoveryBegun() = 0;
    // The device panel.
    virtual IDiscoveryDisplay& DeviceDisplay() = 0;
    virtual QRect WindowFrame() const = 0;
    virtual QRect WindowClient() const = 0;
    virtual void MoveWindow(const QPoint& topLeft) = 0;
    virtual bool TakeDefaultIniFile(const std::string& path, const TDefaultFileOutcome& outcome) = 0;
    virtual bool LoadSettings(TIniFile* ini) = 0;
    // Gives the controls back as the discovery left the module, and frees
    // the window's guard on every way out.
    virtual void ShowDiscoveryEnded() = 0;

protected:
    ~IDiscoveryView() = default;
};

} // namespace ksv
