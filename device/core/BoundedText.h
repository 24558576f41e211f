// Strings inside the library records are fixed-size character fields that
// the library may fill without a terminating NUL. These helpers read and
// write them bounded by the field, never past it.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace ksv {

// The text of a field of `size` bytes: up to the first NUL or the field's end.
inline std::string FieldText(const char* field, std::size_t size)
{
    const void* nul = std::memchr(field, '\0', size);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

template <std::size_t N> std::string FieldText(const char (&field)[N]) { return FieldText(field, N); }

// Writes `text` into a field of `size` bytes, zero-filling the rest; the last
// byte is always NUL, so a 16-byte serial holds at most 15 characters.
inline void SetFieldText(char* field, std::size_t size, const std::string& text)
{
    if (size == 0) return;
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

template <std::size_t N> void SetFieldText(char (&field)[N], const std::string& text)
{
    SetFieldText(field, N, text);
}

} // namespace ksv
