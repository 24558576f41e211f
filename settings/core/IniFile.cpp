#include "IniFile.h"

#include "Cp1251.h"
#include "FileIo.h"
#include "IniText.h"
#include "IniValues.h"

#include <mutex>
#include <optional>
#include <utility>

namespace ksv {
namespace {

// One read-modify-write at a time in this process, whatever the object.
std::mutex g_writeMutex;

// A caller's section or key name in file bytes, or nothing when it is not
// one the file can hold.
std::optional<std::string> FileName(std::string_view name, bool (*valid)(std::string_view))
{
    bool lossless = false;
    std::string n(ini::Trim(Utf8ToCp1251(name, &lossless)));
    if (!lossless || !valid(n))
        return std::nullopt;
    return n;
}

std::optional<std::string> FileSection(std::string_view section)
{
    return FileName(section, ini::IsValidSectionName);
}

std::optional<std::string> FileKey(std::string_view key)
{
    return FileName(key, ini::IsValidKeyName);
}

// The file's content for a read: empty when it cannot be read.
std::string ContentForRead(const std::string& path)
{
    TFileRead r = ReadFileBytes(path);
    return r.Status == TReadStatus::Ok ? std::move(r.Bytes) : std::string();
}

// The value as the file holds it, in UTF-8, or nothing.
std::optional<std::string> Lookup(const std::string& path, std::string_view section, std::string_view key)
{
    const auto s = FileSection(section);
    const auto k = FileKey(key);
    if (!s || !k)
        return std::nullopt;
    const std::string content = ContentForRead(path);
    const auto v = ini::FindValue(content, *s, *k);
    if (!v)
        return std::nullopt;
    return Cp1251ToUtf8(*v);
}

// At most 'limit' characters of a UTF-8 text.
std::string_view FirstChars(std::string_view utf8, std::size_t limit)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && chars++ == limit)
            return utf8.substr(0, i);
    }
    return utf8;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : Path(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    if (auto v = Lookup(Path, section, key))
        return std::move(*v);
    while (!def.empty() && def.back() == ' ')
        def.remove_suffix(1);
    return std::string(FirstChars(def, ini::kMaxValueLength));
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    TIniWriteBatch batch(*this);
    batch.WriteString(section, key, value);
    batch.Commit();
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const
{
    const auto v = Lookup(Path, section, key);
    if (!v)
        return def;
    return ParseIniInteger(*v).value_or(def);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, FormatIniInteger(value));
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const
{
    const auto v = Lookup(Path, section, key);
    if (!v)
        return def;
    return ParseIniFloat(*v).value_or(def);
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value)
{
    WriteString(section, key, FormatIniFloat(value));
}

void TIniFile::UpdateFile() {}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> names = ini::SectionNames(ContentForRead(Path));
    for (std::string& n : names)
        n = Cp1251ToUtf8(n);
    return names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const
{
    const auto s = FileSection(section);
    if (!s)
        return {};
    std::vector<std::string> names = ini::KeyNames(ContentForRead(Path), *s);
    for (std::string& n : names)
        n = Cp1251ToUtf8(n);
    return names;
}

void TIniWriteBatch::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    auto s = FileSection(section);
    auto k = FileKey(key);
    if (!s || !k)
        throw std::invalid_argument("Invalid section or key name for " + Path);
    Pending.push_back({std::move(*s), std::move(*k), Utf8ToCp1251(value)});
}

void TIniWriteBatch::WriteInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    WriteString(section, key, FormatIniInteger(value));
}

void TIniWriteBatch::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniWriteBatch::WriteFloat(std::string_view section, std::string_view key, double value)
{
    WriteString(section, key, FormatIniFloat(value));
}

void TIniWriteBatch::Commit()
{
    std::vector<TPending> pending;
    pending.swap(Pending);
    if (pending.empty())
        return;

    const std::lock_guard lock(g_writeMutex);
    TFileRead current = ReadFileBytes(Path);
    // Only a file that we have read whole, or one that is not there, may be
    // rewritten; anything else would be lost by the rewrite.
    if (current.Status != TReadStatus::Ok && current.Status != TReadStatus::Missing)
        throw TIniWriteError(Path);
    std::string updated = current.Bytes;
    for (const TPending& w : pending)
        updated = ini::SetValue(updated, w.Section, w.Key, w.Value);
    if (updated == current.Bytes && current.Status == TReadStatus::Ok)
        return; // already so; nothing to replace
    if (!ReplaceFileContent(Path, updated))
        throw TIniWriteError(Path);
}

} // namespace ksv
