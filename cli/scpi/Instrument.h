// The instrument that `serve` makes of one KSV27 or of several KSV27 of one
// crate: its plain state shared by every connection (InstrumentState.h) and
// the acquisition thread that runs the measurements (Acquisition.h).
//
// Every call of the state is made from the network thread and returns at
// once. What the acquisition thread learns later (a measurement ended, a
// failure) comes back through the state's notifiers, called on its thread.
#pragma once

#include "Acquisition.h"
#include "InstrumentState.h"

namespace ksv::scpi {

class TInstrument : public TInstrumentState {
public:
    using TCycleObserver = TAcquisition::TCycleObserver;
    using TRunObserver = TAcquisition::TRunObserver;

    explicit TInstrument(cli::TMeasureChoice choice) : TInstrumentState(std::move(choice)), acquisition_(*this) {}
    // The acquisition ends before the state it works on.
    ~TInstrument() { Shutdown(); }

    // Before Start (see TAcquisition).
    void SetCycleObserver(TCycleObserver observer) { acquisition_.SetCycleObserver(std::move(observer)); }
    void SetRunObserver(TRunObserver observer) { acquisition_.SetRunObserver(std::move(observer)); }

    // Tries to open the module, then starts the acquisition thread.
    void Start() { acquisition_.Start(); }
    // Ends any measurement, closes the modules and joins the thread.
    void Shutdown() { acquisition_.Shutdown(); }

private:
    TAcquisition acquisition_;
};

} // namespace ksv::scpi
