// A recording of shown cycles into a CSV file: the header of the run when it
// starts, then one row per cycle, each pushed to the disk before Add returns.
// A failed write ends the recording; the file keeps every row finished
// before it. Toolkit-free; the window's record panel drives it.
#pragma once

#include <cstdint>
#include <string>

#include "CycleResult.h"
#include "RecordFile.h"

namespace ksv {

// Whether two runs are described alike: the same module in the same place,
// the same rate, time and slots. Rows of one recording all belong to one.
bool SameRun(const TRunDescription& a, const TRunDescription& b);

// Why a record file could not be written, in Russian for the user (UTF-8).
std::string RecordErrorReason(int errorNumber);

class TCycleRecorder {
public:
    // Creates `path` (replacing an existing file only when `replace`) and
    // writes the run's header. False with Error() set; a file created here
    // that could not take its header is removed again.
    bool Start(const std::string& path, const TRunDescription& run, bool replace);
    // Writes the cycle's row. False with Error() set when the write failed:
    // the recording has then ended.
    bool Add(const TCycleResult& cycle);
    void Stop();

    bool Recording() const { return file_.IsOpen(); }
    std::uint64_t Rows() const { return rows_; }
    const std::string& Path() const { return file_.Path(); }
    const std::string& Error() const { return file_.Error(); }
    int ErrorNumber() const { return file_.ErrorNumber(); }
    const TRunDescription& Run() const { return run_; }

private:
    TRecordFile file_;
    TRunDescription run_;
    std::uint64_t rows_ = 0;
};

} // namespace ksv
