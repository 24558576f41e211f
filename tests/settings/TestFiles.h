// A scratch folder per test and whole-file helpers for byte comparisons.
#pragma once

#include "Cp1251.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <random>

namespace ksv::test {

class TScratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = MakeScratchFolder();
        ASSERT_FALSE(Dir.empty());
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::permissions(Dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Dir, ec);
    }

    // A new folder of its own under the system's temporary folder.
    static std::filesystem::path MakeScratchFolder()
    {
        std::random_device seed;
        std::mt19937_64 pick(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::filesystem::path p = std::filesystem::temp_directory_path() / ("ksv-settings-" + std::to_string(pick()));
            std::error_code ec;
            if (std::filesystem::create_directory(p, ec)) return p;
        }
        return {};
    }

    std::string PathOf(std::string_view name) const { return (Dir / name).string(); }

    static std::string Slurp(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Put(const std::string& path, std::string_view bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // The names in the folder, to see that no temporary file was left.
    std::size_t EntriesInDir() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Dir), {}));
    }

    std::filesystem::path Dir;
};

// A UTF-8 literal as the file holds it.
inline std::string Cp(std::string_view utf8)
{
    return Utf8ToCp1251(utf8);
}

} // namespace ksv::test
