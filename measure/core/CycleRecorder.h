// A recording of shown cycles into a CSV file: the header of the run when it
// starts, then one row per cycle. The rows go through a bounded queue to a
// writer thread of the recording's own, which writes and syncs each, so the
// caller (the window's thread) never waits for the disk while a recording
// runs. No row is ever dropped: a write that fails, or a queue that the
// disk has let fill up, ends the recording, and the file keeps every row
// finished before. Stop lets the writer write and sync what is queued, then
// close the file. Toolkit-free; the window's record panel drives it.
//
// Threads: every member is called from one thread (the window's); the
// writer thread only writes the file and reports back through the queue's
// lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CycleResult.h"
#include "RecordFile.h"

namespace ksv {

// Whether two runs are described alike: the same module in the same place,
// the same rate, time and slots. Rows of one recording all belong to one.
bool SameRun(const TRunDescription& a, const TRunDescription& b);

// Why a record file could not be written, in Russian for the user (UTF-8).
// ETIMEDOUT: the disk took the rows slower than they came.
std::string RecordErrorReason(int errorNumber);

class TCycleRecorder {
public:
    // Rows the queue holds at most: minutes of cycles at the shortest time.
    static constexpr std::size_t kQueueRows = 1024;

    explicit TCycleRecorder(std::size_t queueRows = kQueueRows);
    ~TCycleRecorder();
    TCycleRecorder(const TCycleRecorder&) = delete;
    TCycleRecorder& operator=(const TCycleRecorder&) = delete;

    // Creates `path` (replacing an existing file only when `replace`) and
    // writes and syncs the run's header here, so that a file that cannot be
    // written is known at once. False with Error() set; a file created here
    // that could not take its header is removed again. Waits for the
    // previous recording's writer to finish first.
    bool Start(const std::string& path, const TRunDescription& run, bool replace);
    // Queues the cycle's row. False with Error() set when the recording has
    // ended instead: an earlier row's write failed (Rows() then counts the
    // rows on the disk) or the queue is full (the queued rows are still
    // written).
    bool Add(const TCycleResult& cycle);
    // Ends the recording; the writer writes and syncs the queued rows and
    // closes the file. Does not wait for it.
    void Stop();
    // Blocks until the writer has written every queued row, or failed; for a
    // caller that may wait for the disk (the tests).
    void WaitUntilWritten() const;
    // The writer still has rows to write or the file still open.
    bool Writing() const;

    bool Recording() const { return recording_; }
    // The rows of the recording: written or queued to be.
    std::uint64_t Rows() const { return rows_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }
    int ErrorNumber() const { return errorNumber_; }
    const TRunDescription& Run() const { return run_; }

    // Tests only: runs on the writer thread before each row's write.
    void SetBeforeWrite(std::function<void()> hook) { beforeWrite_ = std::move(hook); }

private:
    struct TWriter;
    void Ended(int errorNumber, const std::string& error);
    void Join();

    const std::size_t queueRows_;
    std::unique_ptr<TWriter> writer_;
    bool recording_ = false;
    std::uint64_t rows_ = 0;
    std::string path_;
    std::string error_;
    int errorNumber_ = 0;
    TRunDescription run_;
    std::function<void()> beforeWrite_;
};

} // namespace ksv
