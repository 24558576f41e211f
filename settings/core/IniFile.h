// The settings file's INI layer: an object bound to a path, with typed reads
// and writes of its sections and keys. Names and values in
// this interface are UTF-8; the file holds Windows-1251 bytes (see Cp1251.h).
//
// Every operation goes to the file itself: a read parses the file as it is on
// disk now, a write reads it, changes the bytes it must (see IniText.h) and
// replaces the file crash-safely (see FileIo.h; in a folder that takes no
// new file, by a rewrite in place). So any number of objects on one file see
// each other's writes at their next read, and a refused write leaves the file
// exactly as it was.
//
// Reads never fail: a missing, unreadable or oversized file, a missing key or
// a value that does not parse gives the caller's default. A file larger than
// kMaxSettingsFileSize reads as empty and is never rewritten: a write to it
// throws TIniWriteError rather than replace the user's file with a sliver.
//
// Section and key names are trimmed of spaces and tabs and compared without
// regard to letter case, Cyrillic included. A name that the file cannot hold
// as the same name (empty, with a character outside the code page, a line
// break, "=" in a key or "]" in a section, a key starting with ";" or "[")
// is never found by a read, and a write with it throws std::invalid_argument.
//
// Objects may be used from several threads; writes within one process are
// serialised, so none of them is lost.
//
// A group of writes that belongs together (a save, the default values) goes
// through a TIniWriteBatch: the file is read and replaced once for all of
// them, with the bytes the same writes made one by one would leave.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ksv {

// A write that the file system refused. The file is unchanged.
class TIniWriteError : public std::runtime_error {
public:
    explicit TIniWriteError(const std::string& fileName) : std::runtime_error("Unable to write to " + fileName) {}
};

class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    // The path as given.
    const std::string& FileName() const { return Path; }

    // At most 2047 characters of the value. A missing key gives the default
    // without its trailing spaces (also cut to 2047 characters).
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Decimal, or hexadecimal after "0x"; see ParseIniInteger.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);

    // Read as an integer, non-zero is true; written as "1" or "0".
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // See ParseIniFloat and FormatIniFloat.
    double ReadFloat(std::string_view section, std::string_view key, double def) const;
    void WriteFloat(std::string_view section, std::string_view key, double value);

    // Makes the writes so far durable. Each write is already on disk when it
    // returns, so nothing is left to do; kept so that every write group can
    // end with it, whatever the storage underneath.
    void UpdateFile();

    // The names of the sections, and the readable keys of a section (the
    // first section of that name), the first spelling of each name once.
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(std::string_view section) const;

private:
    std::string Path;
};

// Writes collected in memory and put into the file together, in the order
// they were made, by one replacement (see FileIo.h). Until Commit nothing
// reaches the file, and reads (of any object) see the file as it was.
class TIniWriteBatch {
public:
    explicit TIniWriteBatch(const TIniFile& ini) : Path(ini.FileName()) {}

    // As the writes of TIniFile; a name the file cannot hold throws
    // std::invalid_argument here, before anything is written.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void WriteFloat(std::string_view section, std::string_view key, double value);

    // Reads the file and replaces it once with every write applied. Throws
    // TIniWriteError when the file cannot be read whole or the replacement is
    // refused; then the file is unchanged. The batch is empty afterwards.
    void Commit();

private:
    struct TPending {
        std::string Section, Key, Value; // file bytes
    };
    std::string Path;
    std::vector<TPending> Pending;
};

} // namespace ksv
