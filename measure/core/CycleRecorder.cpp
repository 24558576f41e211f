#include "CycleRecorder.h"

#include <cerrno>
#include <cstdio>

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
    default: break;
    }
    return "код ошибки " + std::to_string(errorNumber);
}

bool TCycleRecorder::Start(const std::string& path, const TRunDescription& run, bool replace)
{
    rows_ = 0;
    run_ = run;
    if (!file_.Open(path, replace ? TRecordFile::TOpenMode::Replace : TRecordFile::TOpenMode::CreateNew))
        return false;
    if (file_.Append(CsvHeader(run))) return true;
    // Nothing of the recording is in it: do not leave an empty file behind.
    std::remove(path.c_str());
    return false;
}

bool TCycleRecorder::Add(const TCycleResult& cycle)
{
    if (!file_.Append(CsvRow(cycle))) return false;
    ++rows_;
    return true;
}

void TCycleRecorder::Stop() { file_.Close(); }

} // namespace ksv
