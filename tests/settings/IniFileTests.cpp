// The INI layer on real files: the bytes it writes, what it reads, and that
// the file survives every write that fails.
#include "TestFiles.h"

#include "FileIo.h"
#include "IniFile.h"

#include <csignal>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ksv {
namespace {

using ksv::test::Cp;

class IniFileTest : public test::TScratch {
protected:
    void SetUp() override
    {
        TScratch::SetUp();
        Path = PathOf("Ksv27_Vorn.ini");
    }
    std::string Path;
};

TEST_F(IniFileTest, WritesCp1251WithCrLfAndReadsUtf8Back)
{
    TIniFile ini(Path);
    ini.WriteString("Раздел", "Ключ", "Значение €");
    ini.WriteInteger("Раздел", "Число", -5);
    ini.WriteBool("Другой", "Флаг", true);
    ini.WriteFloat("Другой", "Время", 0.5);
    ini.WriteString("Раздел", "Ключ", "Новое");
    ini.UpdateFile();
    EXPECT_EQ(Slurp(Path), Cp("[Раздел]\r\nКлюч=Новое\r\nЧисло=-5\r\n[Другой]\r\nФлаг=1\r\nВремя=0.5\r\n"));
    EXPECT_EQ(ini.ReadString("раздел", "  КЛЮЧ ", ""), "Новое");
    EXPECT_EQ(ini.ReadInteger("Раздел", "Число", 0), -5);
    EXPECT_TRUE(ini.ReadBool("ДРУГОЙ", "флаг", false));
    EXPECT_EQ(ini.ReadFloat("Другой", "Время", 1.0), 0.5);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Раздел", "Другой"}));
    EXPECT_EQ(ini.ReadSection("раздел"), (std::vector<std::string>{"Ключ", "Число"}));
}

TEST_F(IniFileTest, TypedReadsFallBackToTheDefault)
{
    Put(Path, "[s]\nhex=0x3\nabc=abc\ntwo=2\nzero=0x0\nword=true\ncomma=0,5\nexp=1e2\nempty=\n");
    TIniFile ini(Path);
    EXPECT_EQ(ini.ReadInteger("s", "hex", 0), 3);
    EXPECT_EQ(ini.ReadInteger("s", "abc", 7), 7);
    EXPECT_EQ(ini.ReadInteger("s", "empty", 7), 7);
    EXPECT_TRUE(ini.ReadBool("s", "two", false));
    EXPECT_FALSE(ini.ReadBool("s", "zero", true));
    EXPECT_TRUE(ini.ReadBool("s", "word", true));
    EXPECT_FALSE(ini.ReadBool("s", "word", false));
    EXPECT_EQ(ini.ReadFloat("s", "comma", 1.0), 1.0);
    EXPECT_EQ(ini.ReadFloat("s", "exp", 1.0), 100.0);
    EXPECT_EQ(ini.ReadFloat("s", "empty", 1.0), 1.0);
    EXPECT_EQ(ini.ReadString("s", "empty", "def"), "");
    EXPECT_EQ(ini.ReadString("s", "missing", "def  "), "def");
    EXPECT_EQ(ini.ReadString("nosuch", "k", std::string(3000, 'd')).size(), 2047u);
}

TEST_F(IniFileTest, StringsAreCutAt2047Characters)
{
    TIniFile ini(Path);
    ini.WriteString("s", "k", std::string(3000, 'x'));
    EXPECT_EQ(ini.ReadString("s", "k", "").size(), 2047u);
    std::string cyrillic;
    for (int i = 0; i < 3000; ++i)
        cyrillic += "ж";
    ini.WriteString("s", "k", cyrillic);
    EXPECT_EQ(ini.ReadString("s", "k", ""), cyrillic.substr(0, 2047 * 2));
}

TEST_F(IniFileTest, NamesAndValuesOutsideTheCodePage)
{
    TIniFile ini(Path);
    ini.WriteString("s", "k", "a中b\xFF");
    EXPECT_EQ(Slurp(Path), "[s]\r\nk=a?b?\r\n");
    EXPECT_THROW(ini.WriteString("s", "中", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("s", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString(" ", "k", "v"), std::invalid_argument);
    EXPECT_EQ(Slurp(Path), "[s]\r\nk=a?b?\r\n");
    EXPECT_EQ(ini.ReadString("s", "中", "d"), "d"); // never matches a key "?"
}

TEST_F(IniFileTest, TwoObjectsSeeEachOthersWrites)
{
    TIniFile window(Path), thread(Path);
    window.WriteInteger("s", "k", 1);
    EXPECT_EQ(thread.ReadInteger("s", "k", 0), 1);
    thread.WriteInteger("S", "K", 2);
    thread.WriteInteger("s", "other", 3);
    EXPECT_EQ(window.ReadInteger("s", "k", 0), 2);
    EXPECT_EQ(window.ReadInteger("s", "other", 0), 3);
    // A change by hand between two reads is seen too.
    Put(Path, "[s]\nk=9\n");
    EXPECT_EQ(window.ReadInteger("s", "k", 0), 9);
}

TEST_F(IniFileTest, WritesFromSeveralThreadsAreNotLost)
{
    auto writer = [this](const char* prefix) {
        TIniFile ini(Path);
        for (int i = 0; i < 40; ++i)
            ini.WriteInteger("s", prefix + std::to_string(i), i);
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(TIniFile(Path).ReadSection("s").size(), 80u);
}

TEST_F(IniFileTest, MissingOrUnreadableFilesReadAsDefaults)
{
    EXPECT_EQ(TIniFile(PathOf("none.ini")).ReadInteger("s", "k", 4), 4);
    EXPECT_EQ(TIniFile(PathOf("no/such/folder.ini")).ReadString("s", "k", "d"), "d");
    EXPECT_EQ(TIniFile(Dir.string()).ReadInteger("s", "k", 4), 4); // a folder
    EXPECT_EQ(TIniFile("").ReadInteger("s", "k", 4), 4);
}

#ifndef _WIN32
// POSIX means of refusing or limiting a write (folders of the system, file
// size limits, links and modes); the bytes written are tested above on
// every system.

// Every way of refusing a write that also works for root, where file
// permissions do not stop anything.
TEST_F(IniFileTest, RefusedWritesThrowAndChangeNothing)
{
    Put(PathOf("plain"), "x");
    const std::string underFile = PathOf("plain") + "/Ksv27_Vorn.ini";
    try {
        TIniFile(underFile).WriteInteger("s", "k", 1);
        ADD_FAILURE() << "no error";
    } catch (const TIniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + underFile);
    }

    // A folder where the file should be: neither read nor replaced.
    const std::string folder = PathOf("folder.ini");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_THROW(TIniFile(folder).WriteInteger("s", "k", 1), TIniWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    EXPECT_THROW(TIniFile("/proc/Ksv27_Vorn.ini").WriteInteger("s", "k", 1), TIniWriteError);
    EXPECT_THROW(TIniFile("").WriteInteger("s", "k", 1), TIniWriteError);
}

TEST_F(IniFileTest, FailedWriteLeavesTheOldFileWholeAndNoTemporaryFile)
{
    const std::string old = "[s]\r\nk=1\r\n; kept by hand\r\n";
    Put(Path, old);
    // Let no file grow beyond 16 bytes: the new content does not fit.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        TIniFile(Path).WriteString("s", "k", "a much longer value than before");
    } catch (const TIniWriteError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(threw);
    EXPECT_EQ(Slurp(Path), old);
    EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(IniFileTest, OversizedFileIsNeitherReadNorReplaced)
{
    Put(Path, "[s]\r\nk=1\r\n");
    ASSERT_EQ(::truncate(Path.c_str(), static_cast<off_t>(kMaxSettingsFileSize + 1)), 0);
    TIniFile ini(Path);
    EXPECT_EQ(ini.ReadInteger("s", "k", 5), 5);
    EXPECT_THROW(ini.WriteInteger("s", "k", 2), TIniWriteError);
    EXPECT_EQ(std::filesystem::file_size(Path), kMaxSettingsFileSize + 1);
    EXPECT_EQ(Slurp(Path).substr(0, 10), "[s]\r\nk=1\r\n");
}

TEST_F(IniFileTest, LinksAndPermissionsAreKept)
{
    const std::string target = PathOf("shared.ini");
    Put(target, "[s]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(target.c_str(), Path.c_str()), 0);
    TIniFile(Path).WriteInteger("s", "k", 2);
    EXPECT_TRUE(std::filesystem::is_symlink(Path));
    EXPECT_EQ(Slurp(target), "[s]\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(EntriesInDir(), 2u);
}

#endif // _WIN32

TEST_F(IniFileTest, CreateEmptyFileNeverTruncates)
{
    EXPECT_FALSE(FileExists(Path));
    EXPECT_TRUE(CreateEmptyFile(Path));
    EXPECT_TRUE(FileExists(Path));
    EXPECT_EQ(Slurp(Path), "");
    Put(Path, "[s]\nk=1\n");
    EXPECT_TRUE(CreateEmptyFile(Path));
    EXPECT_EQ(Slurp(Path), "[s]\nk=1\n");
    EXPECT_FALSE(CreateEmptyFile(PathOf("no/folder.ini")));
    EXPECT_FALSE(CreateEmptyFile(Dir.string()));
    EXPECT_FALSE(FileExists(Dir.string()));
}

} // namespace
} // namespace ksv

namespace ksv {
namespace {

// A folder that takes no new file, as a locked-down install folder; the seam
// works for root too, where permissions stop nothing.
bool RefuseTemporaryFiles(const std::string& path)
{
    return path.find(".tmp") != std::string::npos;
}
bool RefuseEverything(const std::string&)
{
    return true;
}

class WriteRefusal : public test::TScratch {
protected:
    void TearDown() override
    {
        SetWriteRefusal(nullptr);
        TScratch::TearDown();
    }
};

TEST_F(WriteRefusal, FolderWithoutNewFilesRewritesTheFileInPlaceAndOnlyAFileRefusalFails)
{
    const std::string path = PathOf("Ksv27_Vorn.ini");
    Put(path, "[s]\r\nk=a long value that the rewrite makes shorter\r\n; kept\r\n");
#ifndef _WIN32
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
#endif
    SetWriteRefusal(RefuseTemporaryFiles);
    TIniFile ini(path);
    const TFileIoCounts before = FileIoCounts();
    ini.WriteString("s", "k", "short");
    EXPECT_EQ(Slurp(path), "[s]\r\nk=short\r\n; kept\r\n");
    EXPECT_EQ(FileIoCounts().Replacements - before.Replacements, 1u);
    ini.WriteString("s", "new", std::string(5000, 'x')); // grows
    EXPECT_EQ(ini.ReadString("s", "new", "").size(), 2047u);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "short");
    EXPECT_EQ(EntriesInDir(), 1u);
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif

    // No file to rewrite: nothing may be created.
    EXPECT_THROW(TIniFile(PathOf("missing.ini")).WriteInteger("s", "k", 1), TIniWriteError);
    EXPECT_EQ(EntriesInDir(), 1u);

    // The file refuses too: the message, and the file as it was.
    const std::string old = Slurp(path);
    SetWriteRefusal(RefuseEverything);
    EXPECT_THROW(ini.WriteString("s", "k", "other"), TIniWriteError);
    EXPECT_EQ(Slurp(path), old);
}

TEST_F(WriteRefusal, BatchIsOneReplacementWithTheBytesOfTheSameWritesOneByOne)
{
    const std::string oneByOne = PathOf("one.ini"), batched = PathOf("batch.ini");
    const std::string start = "; notes\r\n[b]\r\nx=1\r\n[a]\r\n";
    Put(oneByOne, start);
    Put(batched, start);
    TIniFile single(oneByOne);
    single.WriteInteger("a", "k", 5);
    single.WriteString("c", "s", "значение");
    single.WriteBool("B", "x", false);
    single.WriteInteger("a", "k", 6);

    TIniFile target(batched);
    TIniWriteBatch batch(target);
    batch.WriteInteger("a", "k", 5);
    batch.WriteString("c", "s", "значение");
    batch.WriteBool("B", "x", false);
    batch.WriteInteger("a", "k", 6);
    EXPECT_THROW(batch.WriteString("c", "bad=key", "v"), std::invalid_argument);
    EXPECT_EQ(Slurp(batched), start); // nothing before the commit
    const TFileIoCounts before = FileIoCounts();
    batch.Commit();
    const TFileIoCounts after = FileIoCounts();
    EXPECT_EQ(after.Replacements - before.Replacements, 1u);
#ifdef _WIN32
    EXPECT_EQ(after.Syncs - before.Syncs, 1u); // the new file; the move writes its folder through
#else
    EXPECT_EQ(after.Syncs - before.Syncs, 2u); // the new file and its folder
#endif
    EXPECT_EQ(Slurp(batched), Slurp(oneByOne));
    EXPECT_EQ(TIniFile(batched).ReadInteger("a", "k", 0), 6);

    // A refused commit changes nothing and empties the batch.
    SetWriteRefusal(RefuseEverything);
    batch.WriteInteger("a", "k", 7);
    EXPECT_THROW(batch.Commit(), TIniWriteError);
    SetWriteRefusal(nullptr);
    EXPECT_EQ(Slurp(batched), Slurp(oneByOne));
    EXPECT_NO_THROW(batch.Commit());
    EXPECT_EQ(FileIoCounts().Replacements, after.Replacements);
}

} // namespace
} // namespace ksv
