// Whole-file reads and crash-safe whole-file replacement for the settings
// file. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ksv {

// A settings file is a few kilobytes. Anything beyond this is not one that we
// can edit safely in memory; such a file is read as empty and never rewritten
// (see TIniFile), so it is never lost either.
constexpr std::size_t kMaxSettingsFileSize = std::size_t(16) << 20;

enum class TReadStatus {
    Ok,         // Bytes holds the whole file
    Missing,    // no file at the path (or a folder of the path is missing)
    Unreadable, // it exists but cannot be read, or is not a regular file
    TooLarge,   // larger than the limit
};

struct TFileRead {
    TReadStatus Status = TReadStatus::Missing;
    std::string Bytes;
};

// Never blocks on a FIFO or device: anything but a regular file is Unreadable.
TFileRead ReadFileBytes(const std::string& path, std::size_t limit = kMaxSettingsFileSize);

// Replaces the file's content so that a crash or a failure at any moment
// leaves either the old or the new content, never a mix or a truncated file:
// the bytes go into a new file in the same folder, which is flushed to disk
// and renamed over the old one; then the folder itself is flushed. A symbolic
// link is followed, so that the file it points to is replaced and the link
// stays. The old file's permissions are kept. On failure the temporary file
// is removed and false is returned; the old file is untouched.
//
// A folder that refuses new files (a shared or locked-down install folder)
// cannot take the temporary file. Then an existing file that is itself
// writable is rewritten in place: room for the new size is reserved first,
// so that a full disk or a size limit stops the rewrite before any byte
// changed, then the bytes are written, the file cut to length and flushed.
// False when that is refused too.
bool ReplaceFileContent(const std::string& path, std::string_view bytes);

// Test and measurement seam. While a hook is set, every open of a file for
// writing (the temporary file of a replacement, the file itself for an
// in-place rewrite, a new empty file) first asks it; true refuses the open as
// the file system would (permission denied). Works where permissions do not
// stop anything (as root). Set it only while no write runs.
using TWriteRefusal = bool (*)(const std::string& path);
void SetWriteRefusal(TWriteRefusal refuse);

// What the writes of this process have done so far: whole-file replacements
// that succeeded (by rename or in place) and flushes to disk (of files and
// folders) they asked for.
struct TFileIoCounts {
    unsigned long long Replacements = 0;
    unsigned long long Syncs = 0;
};
TFileIoCounts FileIoCounts();

// A regular file (or a link to one) exists at the path.
bool FileExists(const std::string& path);

// Creates an empty file unless one exists already (an existing file is never
// truncated). True when a regular file exists at the path afterwards.
bool CreateEmptyFile(const std::string& path);

} // namespace ksv
