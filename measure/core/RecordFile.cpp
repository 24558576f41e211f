#include "RecordFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace ksv {

namespace {

#ifdef _WIN32
int OpenFile(const std::string& path, bool createNew)
{
    const int flags = _O_WRONLY | _O_CREAT | _O_BINARY | (createNew ? _O_EXCL : _O_TRUNC);
    return _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const char* data, std::size_t size)
{
    return _write(fd, data, static_cast<unsigned>(size > 0x40000000u ? 0x40000000u : size));
}
int SyncFile(int fd) { return _commit(fd); }
int CutFile(int fd, std::uint64_t size) { return _chsize_s(fd, static_cast<long long>(size)) == 0 ? 0 : -1; }
int CloseFile(int fd) { return _close(fd); }
#else
int OpenFile(const std::string& path, bool createNew)
{
    // Past a file-size limit a write must fail with EFBIG instead of the
    // signal ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (createNew ? O_EXCL : O_TRUNC);
    return ::open(path.c_str(), flags, 0644);
}
long long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
int SyncFile(int fd) { return ::fdatasync(fd); }
int CutFile(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)); }
int CloseFile(int fd) { return ::close(fd); }
#endif

} // namespace

TRecordFile::~TRecordFile() { Close(); }

bool TRecordFile::Open(const std::string& path, TOpenMode mode)
{
    Close();
    path_ = path;
    error_.clear();
    errorNumber_ = 0;
    size_ = 0;
    fd_ = OpenFile(path, mode == TOpenMode::CreateNew);
    if (fd_ < 0) {
        Fail("cannot open", errno);
        return false;
    }
    return true;
}

bool TRecordFile::Append(const std::string& text)
{
    if (fd_ < 0) {
        if (error_.empty()) error_ = path_ + ": not open";
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const long long n = WriteSome(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            CutFile(fd_, size_);
            Fail("cannot write", error);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (SyncFile(fd_) != 0) {
        const int error = errno;
        CutFile(fd_, size_);
        Fail("cannot write", error);
        return false;
    }
    size_ += text.size();
    return true;
}

void TRecordFile::Close()
{
    if (fd_ >= 0) CloseFile(fd_);
    fd_ = -1;
}

void TRecordFile::Fail(const char* what, int error)
{
    errorNumber_ = error;
    error_ = path_ + ": " + what + ": " + std::strerror(error);
    Close();
}

} // namespace ksv
