// The main window's state: the guard, the hand-off flags, the device
// inventory and the module record, the measurement's tables and the channel
// frames. The window is its one owner; the parts of its behaviour work on it
// through a reference. Threads: window's thread unless a field is atomic.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "CycleResult.h"
#include "DeviceEngine.h"
#include "DeviceInventory.h"
#include "DeviceStates.h"
#include "PinTables.h"
#include "ksvapi.h"

class QWidget;

namespace ksv {

class TIniFile;
class TKsv27AdcChannelFrame;

using TSlotFrames = std::array<TKsv27AdcChannelFrame*, 8>;

struct TWindowState {
    TWindowState() = default;
    TWindowState(const TWindowState&) = delete;
    TWindowState& operator=(const TWindowState&) = delete;

    // ---- guards and hand-off flags -------------------------------------
    std::atomic<bool> DiscoveryRequestAllowed{true};
    std::atomic<bool> MeasurementRequestAllowed{true};
    std::unique_ptr<TIniFile> SettingsIniFile;
    // A TStartupPhase of the window.
    std::uint8_t StartupPhase = 0;
    int WindowsVersionCode = 0;
    // The re-entrancy guard; see HandlerGuard.h.
    bool HandlerBusy = false;
    std::atomic<bool> DiscoveryRunning{false};
    std::atomic<bool> MeasurementRunning{false};
    std::atomic<bool> AcquisitionIdle{true};

    // ---- device inventory ----------------------------------------------
    std::atomic<int> CrateStatusOk{0};
    // A TModuleState.
    std::atomic<std::uint8_t> ModuleState{kNoModule};
    TDeviceInventory Inventory;
    Ksv27ModuleRecord ModuleRecord{};
    // The library steps on the two above: inventory, choice, open, close.
    TDeviceEngine DeviceEngine{Inventory, ModuleRecord};

    // ---- measurement tables and frames ---------------------------------
    double AcquisitionTime = 0.0;
    std::array<double, 8> AdcRatesHz{};
    std::array<std::uint8_t, 8> AdcRateDivisors{};
    TSlotFrames SlotFrames{};
    QString TitleTemplate;
    TPinTable VoltagePinTable, CurrentPinTable, ResistancePinTable;
    std::array<QWidget*, 1> HandlerPages{};
    std::uint16_t HandlerIndex = 0;
};

} // namespace ksv
