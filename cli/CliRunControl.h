// The run control of the tool's measurement: Ctrl+C or SIGTERM terminate the
// run, the tool itself may ask it to stop (enough cycles, a record that
// could not be written), and the first failure reported is kept for the
// final message; later ones are dropped, as the window drops them.
#pragma once

#include <string>

#include "Interrupt.h"
#include "MeasureCore.h"

namespace ksv::cli {

class TCliRunControl final : public TRunControl {
public:
    bool RunTerminated() const override { return InterruptSignal() != 0; }
    bool RunStopRequested() const override { return stop_; }
    void ReportFailure(const char* text) override
    {
        if (!failed_) failure_ = text;
        failed_ = true;
        stop_ = true;
    }

    void RequestStop() { stop_ = true; }
    bool Failed() const { return failed_; }
    const std::string& Failure() const { return failure_; }

private:
    bool stop_ = false; // set and read on the tool's one thread only
    bool failed_ = false;
    std::string failure_;
};

} // namespace ksv::cli
