#include "FileIo.h"

#include <atomic>
#include <cerrno>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#endif

namespace ksv {
namespace {

// Distinguishes the temporary files of several writes in one process.
std::atomic<unsigned> g_tempCounter{0};

std::atomic<TWriteRefusal> g_writeRefusal{nullptr};
std::atomic<unsigned long long> g_replacements{0};
std::atomic<unsigned long long> g_syncs{0};

bool Refused(const std::string& path)
{
    const TWriteRefusal refuse = g_writeRefusal.load();
    return refuse && refuse(path);
}

// How a replacement through a temporary file ended.
enum class TTempReplace {
    Done,
    Failed, // the old file is untouched
    NoTemp, // the folder refused the temporary file; nothing changed
};

} // namespace

void SetWriteRefusal(TWriteRefusal refuse)
{
    g_writeRefusal = refuse;
}

TFileIoCounts FileIoCounts()
{
    return {g_replacements.load(), g_syncs.load()};
}

#ifndef _WIN32

namespace {

class TFd {
public:
    explicit TFd(int fd = -1) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    int Get() const { return Fd; }
    void Reset(int fd)
    {
        Close();
        Fd = fd;
    }
    // Closes now and reports whether the close went well (it can report a
    // failed write-back on some file systems).
    bool Close()
    {
        const int fd = Fd;
        Fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int Fd;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int OpenForWrite(const std::string& path, int flags, mode_t mode = 0)
{
    if (Refused(path)) {
        errno = EACCES;
        return -1;
    }
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

bool Sync(int fd)
{
    ++g_syncs;
    return ::fsync(fd) == 0;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file a write must replace: the path itself, or for a symbolic link the
// file it finally points to. Empty when a link cannot be resolved.
std::string WriteTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return {};
    return resolved;
}

void SyncFolder(const std::string& folder)
{
    // Makes the rename durable. Some file systems refuse to sync a folder;
    // the new content is in place by then, so that is not a failure.
    TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        Sync(dir.Get());
}

TTempReplace ReplaceThroughTemp(const std::string& target, const struct stat* old, std::string_view bytes)
{
    std::string temp;
    TFd fd;
    for (int attempt = 0; attempt < 100 && fd.Get() < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(g_tempCounter++);
        fd.Reset(OpenForWrite(temp, O_WRONLY | O_CREAT | O_EXCL, 0666));
        if (fd.Get() < 0 && errno != EEXIST)
            return TTempReplace::NoTemp;
    }
    if (fd.Get() < 0)
        return TTempReplace::NoTemp;

    bool ok = true;
    if (old) {
        ok = ::fchmod(fd.Get(), old->st_mode & 07777) == 0;
        // Keeping the owner needs privileges; a file of our own is kept as is.
        if (ok && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()))
            (void)!::fchown(fd.Get(), old->st_uid, old->st_gid);
    }
    ok = ok && WriteAll(fd.Get(), bytes) && Sync(fd.Get());
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return TTempReplace::Failed;
    }
    SyncFolder(FolderOf(target));
    return TTempReplace::Done;
}

// Makes the file `size` bytes long without changing its first bytes, so that
// the write of that many bytes that follows cannot run out of room. On
// failure the file keeps its old length.
bool ReserveRoom(int fd, off_t oldSize, off_t size)
{
    if (size <= oldSize)
        return true;
    int e = ::posix_fallocate(fd, 0, size);
    if (e == EOPNOTSUPP || e == EINVAL)
        e = ::ftruncate(fd, size) == 0 ? 0 : errno; // no reservation on this file system
    if (e == 0)
        return true;
    (void)!::ftruncate(fd, oldSize);
    return false;
}

bool RewriteInPlace(const std::string& target, std::string_view bytes)
{
    TFd fd(OpenForWrite(target, O_WRONLY | O_NOFOLLOW));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto size = static_cast<off_t>(bytes.size());
    bool ok = ReserveRoom(fd.Get(), st.st_size, size) && WriteAll(fd.Get(), bytes);
    ok = ok && ::ftruncate(fd.Get(), size) == 0 && Sync(fd.Get());
    return fd.Close() && ok;
}

} // namespace

TFileRead ReadFileBytes(const std::string& path, std::size_t limit)
{
    TFileRead result;
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        result.Status = errno == ENOENT || errno == ENOTDIR ? TReadStatus::Missing : TReadStatus::Unreadable;
        return result;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.Status = TReadStatus::Unreadable;
        return result;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > limit) {
        result.Status = TReadStatus::TooLarge;
        return result;
    }
    result.Bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.Bytes.clear();
            result.Status = TReadStatus::Unreadable;
            return result;
        }
        if (n == 0)
            break;
        if (result.Bytes.size() + static_cast<std::size_t>(n) > limit) {
            // It grew while we read it.
            result.Bytes.clear();
            result.Status = TReadStatus::TooLarge;
            return result;
        }
        result.Bytes.append(buf, static_cast<std::size_t>(n));
    }
    result.Status = TReadStatus::Ok;
    return result;
}

bool ReplaceFileContent(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        return false;
    const std::string target = WriteTarget(path);
    if (target.empty())
        return false;

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && !S_ISREG(old.st_mode))
        return false;

    bool done = false;
    switch (ReplaceThroughTemp(target, hadFile ? &old : nullptr, bytes)) {
    case TTempReplace::Done: done = true; break;
    case TTempReplace::Failed: break;
    case TTempReplace::NoTemp: done = hadFile && RewriteInPlace(target, bytes); break;
    }
    if (done)
        ++g_replacements;
    return done;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CreateEmptyFile(const std::string& path)
{
    if (path.empty())
        return false;
    TFd fd(OpenForWrite(path, O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (fd.Get() < 0)
        return errno == EEXIST && FileExists(path);
    const bool ok = Sync(fd.Get());
    if (!fd.Close() || !ok)
        return false;
    SyncFolder(FolderOf(path));
    return true;
}

#else // _WIN32

namespace {

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

class THandle {
public:
    explicit THandle(HANDLE h) : H(h) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() { Close(); }
    HANDLE Get() const { return H; }
    bool Valid() const { return H != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h)
    {
        Close();
        H = h;
    }
    bool Close()
    {
        const HANDLE h = H;
        H = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
    }

private:
    HANDLE H;
};

} // namespace

TFileRead ReadFileBytes(const std::string& path, std::size_t limit)
{
    TFileRead result;
    THandle h(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        const DWORD e = ::GetLastError();
        result.Status = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? TReadStatus::Missing
                                                                               : TReadStatus::Unreadable;
        return result;
    }
    if (::GetFileType(h.Get()) != FILE_TYPE_DISK) {
        result.Status = TReadStatus::Unreadable;
        return result;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h.Get(), &size)) {
        result.Status = TReadStatus::Unreadable;
        return result;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        result.Status = TReadStatus::TooLarge;
        return result;
    }
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h.Get(), buf, sizeof buf, &n, nullptr)) {
            result.Bytes.clear();
            result.Status = TReadStatus::Unreadable;
            return result;
        }
        if (n == 0)
            break;
        if (result.Bytes.size() + n > limit) {
            result.Bytes.clear();
            result.Status = TReadStatus::TooLarge;
            return result;
        }
        result.Bytes.append(buf, n);
    }
    result.Status = TReadStatus::Ok;
    return result;
}

namespace {

HANDLE OpenForWrite(const std::string& path, DWORD disposition)
{
    if (Refused(path)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Sync(HANDLE h)
{
    ++g_syncs;
    return ::FlushFileBuffers(h) != 0;
}

bool WriteAll(HANDLE h, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() > (1u << 30) ? (1u << 30) : bytes.size());
        if (!::WriteFile(h, bytes.data(), chunk, &n, nullptr))
            return false;
        bytes.remove_prefix(n);
    }
    return true;
}

bool SetLength(HANDLE h, std::size_t size)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
}

TTempReplace ReplaceThroughTemp(const std::string& target, std::string_view bytes)
{
    std::string temp;
    THandle h(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !h.Valid(); ++attempt) {
        temp = target + ".tmp" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(g_tempCounter++);
        h.Reset(OpenForWrite(temp, CREATE_NEW));
        if (!h.Valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            return TTempReplace::NoTemp;
    }
    if (!h.Valid())
        return TTempReplace::NoTemp;
    bool ok = WriteAll(h.Get(), bytes) && Sync(h.Get());
    ok = h.Close() && ok;
    ok = ok && ::MoveFileExW(Wide(temp).c_str(), Wide(target).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) {
        ::DeleteFileW(Wide(temp).c_str());
        return TTempReplace::Failed;
    }
    return TTempReplace::Done;
}

bool RewriteInPlace(const std::string& target, std::string_view bytes)
{
    THandle h(OpenForWrite(target, OPEN_EXISTING));
    LARGE_INTEGER oldSize{};
    if (!h.Valid() || ::GetFileType(h.Get()) != FILE_TYPE_DISK || !::GetFileSizeEx(h.Get(), &oldSize))
        return false;
    // Room first, so that a full disk stops the rewrite before any byte changed.
    const auto old = static_cast<std::size_t>(oldSize.QuadPart);
    if (bytes.size() > old && !SetLength(h.Get(), bytes.size())) {
        SetLength(h.Get(), old);
        return false;
    }
    LARGE_INTEGER start{};
    bool ok = ::SetFilePointerEx(h.Get(), start, nullptr, FILE_BEGIN) && WriteAll(h.Get(), bytes);
    ok = ok && SetLength(h.Get(), bytes.size()) && Sync(h.Get());
    return h.Close() && ok;
}

} // namespace

bool ReplaceFileContent(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        return false;
    bool done = false;
    switch (ReplaceThroughTemp(path, bytes)) {
    case TTempReplace::Done: done = true; break;
    case TTempReplace::Failed: break;
    case TTempReplace::NoTemp: done = FileExists(path) && RewriteInPlace(path, bytes); break;
    }
    if (done)
        ++g_replacements;
    return done;
}

bool FileExists(const std::string& path)
{
    const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateEmptyFile(const std::string& path)
{
    if (path.empty())
        return false;
    THandle h(OpenForWrite(path, CREATE_NEW));
    if (!h.Valid())
        return ::GetLastError() == ERROR_FILE_EXISTS && FileExists(path);
    return h.Close();
}

#endif

} // namespace ksv
