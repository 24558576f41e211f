// A file that a record grows in: each Append writes its text whole and
// pushes it to the disk before it returns, so a crash or a power loss keeps
// every finished line. A failed Append (disk full, file-size limit, removed
// drive) cuts the file back to its last whole line and leaves it closed.
//
// Toolkit-free; the command-line tool's --output and the window's recorder
// both write through it.
#pragma once

#include <cstdint>
#include <string>

namespace ksv {

class TRecordFile {
public:
    enum class TOpenMode {
        CreateNew, // fails when the file exists: a record never overwrites unasked
        Replace,   // truncates an existing file
    };

    TRecordFile() = default;
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;
    ~TRecordFile();

    // False with Error() set when the file cannot be opened as asked.
    bool Open(const std::string& path, TOpenMode mode);
    // Writes `text` and syncs it. False with Error() set on failure; the file
    // is then closed and holds exactly what earlier Appends wrote.
    bool Append(const std::string& text);
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }
    // The system's error number of the last failure (0: none, or not a system error).
    int ErrorNumber() const { return errorNumber_; }
    std::uint64_t Size() const { return size_; }

private:
    void Fail(const char* what, int error);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    int errorNumber_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace ksv
