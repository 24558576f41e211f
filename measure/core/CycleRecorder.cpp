#include "CycleRecorder.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "CycleCsv.h"

namespace ksv {

bool SameRun(const TRunDescription& a, const TRunDescription& b)
{
    return a.CrateSerial == b.CrateSerial && a.Slot == b.Slot && a.ModuleSerial == b.ModuleSerial &&
           a.Firmware == b.Firmware && a.RateHz == b.RateHz && a.AcquisitionTime == b.AcquisitionTime &&
           a.MezzanineNames == b.MezzanineNames && a.SlotActive == b.SlotActive;
}

std::string RecordErrorReason(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC: return "на диске нет места";
    case EFBIG: return "превышен допустимый размер файла";
    case EACCES:
    case EPERM: return "нет прав на запись";
    case EROFS: return "носитель только для чтения";
    case EEXIST: return "файл уже существует";
    case ENOENT:
    case ENOTDIR: return "папка не найдена";
    case EIO:
    case ENODEV:
    case ENXIO: return "носитель недоступен";
    case ETIMEDOUT: return "диск не успевает записывать строки";
    default: break;
    }
    return "код ошибки " + std::to_string(errorNumber);
}

// One recording's writer thread and its queue. The file belongs to the
// thread from its start to its end; everything else under `lock`.
struct TCycleRecorder::TWriter {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::string> queue;
    bool closing = false;
    bool busy = false; // a row taken from the queue is being written
    bool done = false;
    bool failed = false;
    std::uint64_t written = 0;
    std::string error;
    int errorNumber = 0;
    TRecordFile file;
    std::function<void()> beforeWrite;
    std::thread thread;

    void Run()
    {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [this] { return !queue.empty() || closing; });
            if (queue.empty()) break;
            std::string row = std::move(queue.front());
            queue.pop_front();
            busy = true;
            held.unlock();
            if (beforeWrite) beforeWrite();
            const bool ok = file.Append(row);
            held.lock();
            busy = false;
            changed.notify_all();
            if (!ok) {
                // The file holds every row before this one; the rest go
                // with the recording, as a failed write ends it.
                failed = true;
                error = file.Error();
                errorNumber = file.ErrorNumber();
                queue.clear();
                break;
            }
            ++written;
        }
        held.unlock();
        file.Close();
        held.lock();
        done = true;
        changed.notify_all();
    }
};

TCycleRecorder::TCycleRecorder(std::size_t queueRows) : queueRows_(queueRows ? queueRows : 1) {}

TCycleRecorder::~TCycleRecorder()
{
    Stop();
    Join();
}

bool TCycleRecorder::Start(const std::string& path, const TRunDescription& run, bool replace)
{
    Stop();
    Join();
    rows_ = 0;
    run_ = run;
    path_ = path;
    error_.clear();
    errorNumber_ = 0;
    auto writer = std::make_unique<TWriter>();
    TRecordFile& file = writer->file;
    const bool opened = file.Open(path, replace ? TRecordFile::TOpenMode::Replace : TRecordFile::TOpenMode::CreateNew);
    if (!opened || !file.Append(CsvHeader(run))) {
        error_ = file.Error();
        errorNumber_ = file.ErrorNumber();
        // Nothing of the recording is in it: do not leave an empty file behind.
        if (opened) std::remove(path.c_str());
        return false;
    }
    writer->beforeWrite = beforeWrite_;
    TWriter* w = writer.get();
    writer->thread = std::thread([w] { w->Run(); });
    writer_ = std::move(writer);
    recording_ = true;
    return true;
}

bool TCycleRecorder::Add(const TCycleResult& cycle)
{
    if (!recording_) return false;
    std::string row = CsvRow(cycle);
    std::unique_lock<std::mutex> held(writer_->lock);
    if (writer_->failed) {
        const std::uint64_t written = writer_->written;
        const std::string error = writer_->error;
        const int errorNumber = writer_->errorNumber;
        held.unlock();
        rows_ = written;
        Ended(errorNumber, error);
        return false;
    }
    if (writer_->queue.size() >= queueRows_) {
        held.unlock();
        Ended(ETIMEDOUT, "the disk takes the rows slower than they come");
        return false;
    }
    writer_->queue.push_back(std::move(row));
    ++rows_;
    writer_->changed.notify_all();
    return true;
}

void TCycleRecorder::Ended(int errorNumber, const std::string& error)
{
    errorNumber_ = errorNumber;
    error_ = error;
    Stop();
}

void TCycleRecorder::Stop()
{
    recording_ = false;
    if (!writer_) return;
    const std::lock_guard<std::mutex> held(writer_->lock);
    writer_->closing = true;
    writer_->changed.notify_all();
}

void TCycleRecorder::WaitUntilWritten() const
{
    if (!writer_) return;
    TWriter& w = *writer_;
    std::unique_lock<std::mutex> held(w.lock);
    w.changed.wait(held, [&w] { return w.done || (w.queue.empty() && !w.busy); });
}

bool TCycleRecorder::Writing() const
{
    if (!writer_) return false;
    const std::lock_guard<std::mutex> held(writer_->lock);
    return !writer_->done;
}

void TCycleRecorder::Join()
{
    if (writer_ && writer_->thread.joinable()) writer_->thread.join();
    writer_.reset();
}

} // namespace ksv
