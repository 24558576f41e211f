// What the window relies on below it: the record layout the libraries
// share, the bounded field texts, and a library loader that fails safely
// when the libraries are missing or broken.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstring>

#include "BoundedText.h"
#include "TKsvLibraryLoader.h"
#include "ksvapi.h"

namespace {

TEST(RecordLayout, OffsetsAreTheLibrariesOwn)
{
    struct Row {
        std::size_t Actual, Expected;
        const char* What;
    };
    const Row rows[] = {
        {sizeof(Ksv27ModuleRecord), 3872, "module record size"},
        {offsetof(Ksv27ModuleRecord, AdcRateDivisor), 41, "AdcRateDivisor"},
        {offsetof(Ksv27ModuleRecord, Mezzanines), 44, "Mezzanines"},
        {sizeof(Ksv27Mezzanine), 80, "mezzanine size"},
        {offsetof(Ksv27ModuleRecord, ModuleName), 700, "ModuleName"},
        {offsetof(Ksv27ModuleRecord, ModuleSerial), 716, "ModuleSerial"},
        {offsetof(Ksv27ModuleRecord, FirmwareVersion), 1020, "FirmwareVersion"},
        {offsetof(Ksv27ModuleRecord, MezzanineDescBlocks), 1297, "MezzanineDescBlocks"},
        {offsetof(Ksv27ModuleRecord, LastMezzanineDesc), 1297 + 7 * 324, "LastMezzanineDesc"},
        {sizeof(KsvCrateConnection), 36, "connection size"},
        {offsetof(KsvCrateConnection, CrateSerial), 6, "CrateSerial"},
        {offsetof(KsvCrateConnection, Channel), 22, "Channel"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.Actual, row.Expected) << row.What;

    // The description of mezzanine m sits 324 bytes after that of m - 1, the last one included.
    Ksv27ModuleRecord record{};
    const auto* base = reinterpret_cast<const unsigned char*>(&record);
    for (int m = 0; m < 8; ++m)
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(Ksv27MezzanineDescOf(&record, m)) - base, 1297 + 324 * m);
    // The last description ends within the record.
    EXPECT_LE(offsetof(Ksv27ModuleRecord, LastMezzanineDesc) + sizeof(Ksv27MezzanineDesc), sizeof(Ksv27ModuleRecord));
}

TEST(BoundedText, FieldsAreReadAndWrittenWithinTheirBytes)
{
    char serial[16];
    std::memcpy(serial, "0123456789ABCDEF", 16); // no NUL anywhere
    EXPECT_EQ(ksv::FieldText(serial), "0123456789ABCDEF");
    serial[4] = '\0';
    EXPECT_EQ(ksv::FieldText(serial), "0123");

    char field[16];
    std::memset(field, 'x', sizeof field);
    ksv::SetFieldText(field, "a much longer text than sixteen");
    EXPECT_EQ(field[15], '\0');
    EXPECT_EQ(ksv::FieldText(field), "a much longer t");
    ksv::SetFieldText(field, "ab");
    EXPECT_EQ(ksv::FieldText(field), "ab");
    for (std::size_t i = 2; i < sizeof field; ++i) EXPECT_EQ(field[i], '\0') << i;
    // A zero-sized field is left alone.
    char none[1] = {'q'};
    ksv::SetFieldText(none, 0, "text");
    EXPECT_EQ(none[0], 'q');
}

// Every operation of a loader without libraries fails the way the program expects.
void ExpectEverythingFails(ksv::TKsvLibraryLoader& api)
{
    KsvCrateConnection connection{};
    KsvCrateList crates{};
    uint16_t modules[KSV_MAX_SLOTS] = {};
    Ksv27ModuleRecord record{};
    uint32_t words[16] = {};
    uint32_t marks[16] = {};
    double values[16] = {};
    uint32_t count = 16;

    api.KSV_Init(&connection);
    EXPECT_NE(api.KSV_Open(&connection), 0);
    EXPECT_NE(api.KSV_GetCrates(&connection, crates), 0);
    EXPECT_NE(api.KSV_GetCrateModules(&connection, modules), 0);
    api.KSV_Close(&connection);
    api.KSV27_Init(&record);
    EXPECT_NE(api.KSV27_IsOpened(&record), 0);
    EXPECT_NE(api.KSV27_Open(&record, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, "crate", 1), 0);
    EXPECT_NE(api.KSV27_GetConfig(&record), 0);
    EXPECT_NE(api.KSV27_GetDescription(&record, KSV27_DESCRIPTION_MASK), 0);
    EXPECT_NE(api.KSV27_SetConfig(&record), 0);
    EXPECT_NE(api.KSV27_ADCStart(&record), 0);
    EXPECT_NE(api.KSV27_ADCStop(&record), 0);
    EXPECT_LT(api.KSV27_Recv(&record, words, marks, 16, 10), 0);
    EXPECT_NE(api.KSV27_ProcessData(&record, words, values, &count, 1, 1), 0);
    api.KSV27_Close(&record);
    EXPECT_FALSE(api.MissingSymbols().empty());
}

TEST(LibraryLoader, WithoutLibrariesEveryOperationFailsSafely)
{
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    ksv::TKsvLibraryLoader api(QFile::encodeName(empty.path()).toStdString());
    if (api.CrateLibraryLoaded() || api.ModuleLibraryLoaded())
        GTEST_SKIP() << "the crate libraries are installed on this system's library path";
    ExpectEverythingFails(api);
}

TEST(LibraryLoader, ABrokenLibraryFileIsRefusedSafely)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"libksvapi.so", "libksv27api.so", "ksvapi.dll", "ksv27api.dll"}) {
        QFile bogus(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
        bogus.write(QByteArray("\x7f"
                               "ELF this is not a library",
                               26));
    }
    ksv::TKsvLibraryLoader api(QFile::encodeName(folder.path()).toStdString());
    if (api.CrateLibraryLoaded() || api.ModuleLibraryLoaded())
        GTEST_SKIP() << "the crate libraries are installed on this system's library path";
    ExpectEverythingFails(api);
}

} // namespace
