#include "RecordSink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ksv::cli {

bool TRecordSink::Open(const std::string& path)
{
    toFile_ = !path.empty();
    if (toFile_ && !file_.Open(path, TRecordFile::TOpenMode::CreateNew)) {
        error_ = file_.Error();
        return false;
    }
    return true;
}

bool TRecordSink::Write(const std::string& text)
{
    if (toFile_) {
        if (file_.Append(text)) return true;
        error_ = file_.Error();
        return false;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return true;
    error_ = std::string("standard output: cannot write: ") + std::strerror(errno ? errno : EIO);
    return false;
}

} // namespace ksv::cli
