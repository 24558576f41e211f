// The text of an INI file held in memory, and the edits a write makes to it.
// Everything here works on code-page bytes: names, values and the content.
//
// Reading accepts lines ended by CR LF, LF or CR (the last one may have no
// end), blank lines, spaces and tabs around names and "=", ";" comment lines
// and lines without "=". Only the first section of a name is searched, and
// inside it the first key of a name wins. Keys before the first section
// belong to none and cannot be read. Names match without regard to case.
//
// A write changes only the bytes it must: an existing key's line becomes
// "key=value" CR LF (the key spelt as in the file), a new key goes right after
// the last key line of its section, a new section goes to the end of the
// file. A last line without an end gets a CR LF when a line follows it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ksv::ini {

// The longest value a read returns, in bytes of the file.
constexpr std::size_t kMaxValueLength = 2047;

// Trims spaces and tabs at both ends.
std::string_view Trim(std::string_view text);

// Names that a write can put into a file so that they read back as the same
// name. Both expect trimmed names. A section name must be non-empty and free
// of "]" and line breaks; a key name must be non-empty, free of "=" and line
// breaks, and must not begin with ";" (a comment) or "[" (a section).
bool IsValidSectionName(std::string_view section);
bool IsValidKeyName(std::string_view key);

// The value of the key, as a read returns it: trimmed, one pair of matching
// quotes stripped when longer than one character, at most kMaxValueLength
// bytes. Nothing when the section or key is missing or the line has no "=".
std::optional<std::string_view> FindValue(std::string_view content, std::string_view section,
                                          std::string_view key);

// The content after writing the value. Names must be valid (see above); line
// breaks and NUL bytes in the value are written as '?', so that a value can
// never add lines of its own to the file.
std::string SetValue(std::string_view content, std::string_view section, std::string_view key,
                     std::string_view value);

// Section names in file order, the first spelling of each name once.
std::vector<std::string> SectionNames(std::string_view content);

// Readable key names of the first section of that name, in file order, the
// first spelling of each name once.
std::vector<std::string> KeyNames(std::string_view content, std::string_view section);

} // namespace ksv::ini
