// The Windows side of the program that needs no toolkit: the version
// resource that the program carries (this test program carries the same
// one) and the system's version query.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Version.h"
#include "WindowsVersion.h"

namespace ksv {
namespace {

std::vector<char> OwnVersionInfo()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) return {};
    return data;
}

std::wstring StringOf(std::vector<char>& info, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) return {};
    return static_cast<const wchar_t*>(value);
}

TEST(VersionResource, CarriesTheProjectVersion)
{
    std::vector<char> info = OwnVersionInfo();
    ASSERT_FALSE(info.empty()) << "no version resource";
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), KSV27_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), KSV27_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), KSV27_VERSION_RELEASE);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(StringOf(info, L"ProductName"), L"KSV27_Vorn");
    const std::string text = KSV27_VERSION_TEXT ".0";
    EXPECT_EQ(StringOf(info, L"FileVersion"), std::wstring(text.begin(), text.end()));
}

TEST(WindowsVersion, TheRunningSystemGivesAKnownCode)
{
    const int code = QueryWindowsVersionCode();
    EXPECT_GE(code, 0);
    EXPECT_LE(code, 10);
    EXPECT_EQ(QueryWindowsVersionCode(), code);
}

} // namespace
} // namespace ksv
