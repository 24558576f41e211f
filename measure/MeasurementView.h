// What the measurement thread sees of the window: its start, the request the
// controls make, a shown cycle, the update lamps and its end. The window
// implements it.
//
// Threads: the state calls are safe from the worker (atomic); every other
// call runs on the window's thread only.
#pragma once

#include "CycleResult.h"
#include "MeasureEngine.h"
#include "SlotPicture.h"
#include "WorkerView.h"
#include "ksvapi.h"

namespace ksv {

// The multimeter page's half of the view: what a run shows and the request
// its controls make. Window's thread.
class IRunDisplay {
public:
    // START turns to STOP, the values and lamps are cleared.
    virtual void ShowRunStarted() = 0;
    // The rate and slots the controls choose now (the time is the run's own).
    virtual TMeasureRequest RunRequest() const = 0;
    // The cycle's values in the slots that take part and are still ticked;
    // then the cycle goes to whatever follows the run.
    virtual void ShowCycle(const TCycleResult& cycle, const TSlotPicture& picture) = 0;
    virtual void ShowUpdateMarks(const TSlotPicture& picture) = 0;
    // STOP turns back to START.
    virtual void ShowRunStopped() = 0;

protected:
    ~IRunDisplay() = default;
};

class IMeasurementView : public IWorkerView {
public:
    // ---- state (any thread) ---------------------------------------------
    virtual void SetMeasurementRunning(bool running) = 0;
    virtual void SetAcquisitionIdle(bool idle) = 0;
    // After a failure: neither the crate nor the module counts as usable.
    virtual void ForgetDevice() = 0;
    // The record the run measures with; the window's own.
    virtual Ksv27ModuleRecord& MeasuredRecord() = 0;

    // ---- the window's thread ----------------------------------------------
    virtual bool OnMultimeterPage() const = 0;
    virtual double RunAcquisitionTime() const = 0;
    // The multimeter page.
    virtual IRunDisplay& RunDisplay() = 0;

protected:
    ~IMeasurementView() = default;
};

} // namespace ksv
