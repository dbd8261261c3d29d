// The cluster-size ladder of FormatKey with a recording formatter in place of the real
// one, and the pacing of the formatter's progress reports.
#include <gtest/gtest.h>

#include <string>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"
#include "pages/StatusLine.h"
#include "platform/TestHooks.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kCylinder = 255 * 63 * 512;

struct FormatCall {
    std::u16string root;
    std::u16string fileSystem;
    DWORD cluster;
    BOOL quick;
    DWORD media;
    bool keyClosed;
};

// The recording formatter: refuses every FAT cluster size below g_firstAccepted (0: all),
// and reports progress g_progressReports times per call.
std::vector<FormatCall> g_calls;
DWORD g_firstAccepted = 0;
int g_progressReports = 0;
CKeyDrive* g_drive = nullptr;

void RecordingFormatEx(WCHAR* root, DWORD media, WCHAR* fileSystem, WCHAR* /*label*/, BOOL quick, DWORD cluster,
                       PFMIFSCALLBACK callback)
{
    g_calls.push_back({root, fileSystem, cluster, quick, media,
                       g_drive->m_hDisk == INVALID_HANDLE_VALUE && g_drive->m_hVolume == INVALID_HANDLE_VALUE});
    for (int i = 0; i < g_progressReports; ++i)
        callback(PROGRESS, 0, nullptr);
    bool fat = std::u16string(fileSystem) == u"FAT";
    if (fat && (g_firstAccepted == 0 || cluster < g_firstAccepted))
        callback(CLUSTERSIZETOOSMALL, 0, nullptr);
    callback(DONE, 0, nullptr);
}

class FormatTest : public ::testing::Test {
protected:
    void MakeMachine(uint64_t keySize, bool partitioned)
    {
        sandbox.AddDisk("IDE", 16 * kMiB);
        sandbox.AddDisk("USBSTOR", keySize);
        sandbox.Use();
        drive.FindKeys();
        ASSERT_TRUE(drive.OpenKey('D'));
        if (partitioned) {
            ASSERT_TRUE(drive.WritePartitionTable());
            drive.RefreshKey();
        }
        drive.CloseKey();
        g_calls.clear();
        g_firstAccepted = 0;
        g_progressReports = 0;
        g_drive = &drive;
        drive.m_pfnFormatEx = RecordingFormatEx;
    }

    std::vector<DWORD> Clusters() const
    {
        std::vector<DWORD> clusters;
        for (const FormatCall& call : g_calls)
            clusters.push_back(call.cluster);
        return clusters;
    }

    Sandbox sandbox;
    CKeyDrive drive;
};

}  // namespace

TEST_F(FormatTest, StopsAtTheFirstClusterSizeTheFormatterAccepts)
{
    MakeMachine(64 * kMiB, true);
    g_firstAccepted = 4096;
    EXPECT_TRUE(drive.FormatKey());
    EXPECT_EQ(Clusters(), (std::vector<DWORD>{512, 1024, 2048, 4096}));
    for (const FormatCall& call : g_calls) {
        EXPECT_EQ(call.root, u"D:\\");
        EXPECT_EQ(call.fileSystem, u"FAT");
        EXPECT_EQ(call.quick, FALSE);
        EXPECT_EQ(call.media, 12u);
        EXPECT_TRUE(call.keyClosed);
    }
    EXPECT_EQ(drive.m_nFormatRetry, 0u);
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
}

TEST_F(FormatTest, ASmallKeyRefusedAllTheWayStopsAt64KiB)
{
    MakeMachine(64 * kMiB, true);
    EXPECT_TRUE(drive.FormatKey());
    EXPECT_EQ(Clusters(), (std::vector<DWORD>{512, 1024, 2048, 4096, 8192, 16384, 32768, 65536}));
    EXPECT_EQ(g_calls.back().fileSystem, u"FAT");
    EXPECT_EQ(drive.m_nFormatRetry, 16u);
}

// Too big for FAT16 whatever the cluster size: once FAT has been refused to its end the
// volume is formatted FAT32, with the formatter's own cluster size.
TEST_F(FormatTest, AVolumeTooBigForFat16IsFormattedFat32AfterTheLadder)
{
    MakeMachine(1044 * kCylinder, true);
    EXPECT_TRUE(drive.FormatKey());
    ASSERT_EQ(g_calls.size(), 9u);
    EXPECT_EQ(g_calls[7].cluster, 65536u);
    EXPECT_EQ(g_calls[8].fileSystem, u"FAT32");
    EXPECT_EQ(g_calls[8].cluster, 0u);
    EXPECT_EQ(g_calls[8].root, u"D:\\");
    EXPECT_EQ(drive.m_nFormatRetry, 0u);
}

TEST_F(FormatTest, AWholeDeviceVolumeTooBigForFat16IsAlsoFormattedFat32)
{
    MakeMachine(1044 * kCylinder, false);
    g_firstAccepted = 0;
    drive.FormatKey();
    ASSERT_EQ(g_calls.size(), 9u);
    EXPECT_EQ(g_calls[8].fileSystem, u"FAT32");
}

TEST_F(FormatTest, TheRootKeepsALowerCaseLetter)
{
    MakeMachine(64 * kMiB, true);
    ASSERT_TRUE(drive.OpenKey('d'));
    g_firstAccepted = 512;
    drive.FormatKey();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].root, u"d:\\");
}

TEST(FormatterMissing, FormatKeyReportsFailureAndCallsNothing)
{
    platform::SetModuleMissingForTest("fmifs.dll", true);
    CKeyDrive drive;
    platform::SetModuleMissingForTest("fmifs.dll", false);
    EXPECT_EQ(drive.m_pfnFormatEx, nullptr);
    EXPECT_FALSE(drive.FormatKey());
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
}

// Counting happens with or without a sheet: only progress reports count, and the 25th
// report of the run is the first that moves the status line.
TEST(FormatProgress, EveryTwentyFifthProgressReportMovesTheStatusLine)
{
    FormatProgressCounter().ResetForTest();
    for (int i = 0; i < 24; ++i)
        EXPECT_TRUE(CKeyDrive::FormatCallback(PROGRESS, 0, nullptr));
    EXPECT_TRUE(CKeyDrive::FormatCallback(DONE, 0, nullptr));
    EXPECT_TRUE(CKeyDrive::FormatCallback(CLUSTERSIZETOOSMALL, 0, nullptr));
    EXPECT_EQ(FormatProgressCounter().Value(), 25);
    EXPECT_TRUE(FormatProgressCounter().Tick());    // the 25th report
    EXPECT_FALSE(FormatProgressCounter().Tick());   // the 26th
    FormatProgressCounter().ResetForTest();
}

TEST_F(FormatTest, ProgressOfAllFormatsOfTheRunCountsOnOneCounter)
{
    MakeMachine(64 * kMiB, true);
    FormatProgressCounter().ResetForTest();
    g_firstAccepted = 2048;
    g_progressReports = 10;
    drive.FormatKey();
    drive.FormatKey();
    EXPECT_EQ(FormatProgressCounter().Value(), 1 + 2 * 3 * 10);
    FormatProgressCounter().ResetForTest();
}
