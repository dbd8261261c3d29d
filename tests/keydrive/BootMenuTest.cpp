// The boot menu files: written fresh and extended on sandbox keys and read back through
// mtools, and the line edits of their text on their own.
#include <gtest/gtest.h>

#include "keydrive/KeyDrive.h"
#include "res/resource.h"
#include "tests/support/BootMenuTexts.h"
#include "tests/support/KeyImage.h"

namespace {

class BootMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        key = UseKey(sandbox, drive, 16 * kMiB);
        drive.CloseKey();
        MakeFatKey(key);
    }
    std::string Config() { return KeyFileText(key, "syslinux.cfg"); }
    std::string Menu() { return KeyFileText(key, "menu.msg"); }

    Sandbox sandbox;
    CKeyDrive drive;
    std::string key;
};

TEST_F(BootMenuTest, TheWorkedExamplesByteForByte)
{
    // 1: a fresh key and the firmware flash package.
    ASSERT_TRUE(drive.WriteFlashConfiguration());
    EXPECT_EQ(Config(), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock);
    EXPECT_EQ(Menu(), kStars + kFlashEntry + kStars);
    EXPECT_EQ(kFlashEntry.size(), 80u);
    EXPECT_EQ(drive.m_failure.nStep, 0u);

    // 2: a floppy image added to it; the default stays.
    ASSERT_TRUE(drive.AddImageConfiguration("dos", "DOS boot disk"));
    EXPECT_EQ(Config(), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock + kDosBlock);
    EXPECT_EQ(Menu(), kStars + kFlashEntry + kDosEntry + kStars);

    // 4: the flash package again: its block and its entry move to the end.
    ASSERT_TRUE(drive.WriteFlashConfiguration());
    EXPECT_EQ(Config(), "#zentaq\ndefault flash\n" + kHeader + kDosBlock + kFlashBlock);
    EXPECT_EQ(Menu(), kStars + kDosEntry + kFlashEntry + kStars);

    // 3: the image on a key without syslinux.cfg and menu.msg.
    ASSERT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mdel -i " + key + "@@32256 ::syslinux.cfg ::menu.msg"), 0);
    ASSERT_TRUE(drive.AddImageConfiguration("dos", "DOS boot disk"));
    EXPECT_EQ(Config(), "#zentaq\ndefault dos\n" + kHeader + kDosBlock);
    EXPECT_EQ(Menu(), kStars + kDosEntry + kStars);
    EXPECT_EQ(KeyListing(key).find("~bw"), std::string::npos) << KeyListing(key);
}

// Each missing file starts afresh, an existing one is edited: a configuration with choices
// of its own survives a lost menu.msg, and one without a default line gets one.
TEST_F(BootMenuTest, AMissingMenuNeverCostsTheConfiguration)
{
    PutKeyFileText(key, "syslinux.cfg", "#zentaq\nprompt 1\nlabel linux\n  kernel bzImage\n");
    ASSERT_TRUE(drive.AddImageConfiguration("dos", "DOS boot disk"));
    EXPECT_EQ(Config(), "#zentaq\ndefault dos\nprompt 1\nlabel linux\n  kernel bzImage\n" + kDosBlock);
    EXPECT_EQ(Menu(), kStars + kDosEntry + kStars);

    // No marker, no default: the default line goes first.
    PutKeyFileText(key, "syslinux.cfg", "prompt 1\n");
    ASSERT_TRUE(drive.WriteFlashConfiguration());
    EXPECT_EQ(Config(), "default flash\nprompt 1\n" + kFlashBlock);
    EXPECT_EQ(Menu(), kStars + kDosEntry + kFlashEntry + kStars);
}

class MenuTextTest : public ::testing::Test {
protected:
    std::string Menu(std::string text, const std::string& shortName, const std::string& longName = "L")
    {
        drive.UpdateMenuText(text, shortName, longName);
        return text;
    }
    std::string Blocks(std::string text, const std::string& shortName, const std::string& body = "  B\n")
    {
        drive.PutLabelBlock(text, shortName, body);
        return text;
    }
    std::string Default(std::string text, const std::string& shortName)
    {
        drive.SetDefaultEntry(text, shortName);
        return text;
    }
    static std::string Entry(const std::string& shortName, const std::string& longName)
    {
        std::string name = shortName + std::string(shortName.size() < 13 ? 13 - shortName.size() : 0, ' ');
        std::string text = longName + std::string(longName.size() < 55 ? 55 - longName.size() : 0, ' ');
        return "        " + name + " - " + text + "\n";
    }
    CKeyDrive drive;
};

TEST_F(MenuTextTest, TokensSkipDelimitersAndLeaveThePositionAtTheEnd)
{
    size_t position = 0;
    EXPECT_EQ(CKeyDrive::NextToken("\n\nab\ncd", "\n", position), "ab");
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(CKeyDrive::NextToken("\n\nab\ncd", "\n", position), "cd");
    EXPECT_EQ(CKeyDrive::NextToken("\n\nab\ncd", "\n", position), "");
    EXPECT_EQ(position, 7u);
}

TEST_F(MenuTextTest, TheMenuKeepsOtherEntriesAndEndsAtALineOfSpacesAndHyphens)
{
    std::string stars = "*\n*\n*\n*\n*\n";
    // Lost star blocks come back; extra whole blocks all go; a lone star line stays.
    EXPECT_EQ(Menu("  a - A\n", "b"), stars + "  a - A\n" + Entry("b", "L") + stars);
    EXPECT_EQ(Menu(stars + stars + "*\n  a - A\n" + stars + stars, "b"), stars + "*\n  a - A\n" + Entry("b", "L") + stars);
    // The same first word goes wherever it stands; blank lines go; CR stays.
    EXPECT_EQ(Menu(stars + "  b - old\n\n\n\ta - A\r\n  b - older\n" + stars, "b"),
              stars + "\ta - A\r\n" + Entry("b", "L") + stars);
    // A line of spaces and hyphens ends the walk: it and all after it are gone.
    EXPECT_EQ(Menu(stars + "  a - A\n  ----  \n  c - C\n" + stars, "b"), stars + "  a - A\n" + Entry("b", "L") + stars);
    // A hyphenated short name: its first word ends at the hyphen, so its old line stays.
    EXPECT_EQ(Menu(Menu("", "dos-6", "One"), "dos-6", "Two"), stars + Entry("dos-6", "One") + Entry("dos-6", "Two") + stars);
    // Names over their fields are written whole.
    std::string longName(70, 'x');
    EXPECT_EQ(Menu("", "averylongshortname", longName), stars + Entry("averylongshortname", longName) + stars);
}

TEST_F(MenuTextTest, LabelBlocksGoWithTheirIndentedLinesAndTheNewOneComesLast)
{
    std::string config = "#zentaq\n\nlabel dos\n  kernel memdisk\n# note\n3 lines\n\tappend x\ndefault dos\n"
                         "label dos\n  again\nlabel Dos\n  kept\nlabel\tdos\n  kept too\nprompt 1\n";
    EXPECT_EQ(Blocks(config, "dos"), "#zentaq\ndefault dos\nlabel Dos\n  kept\nlabel\tdos\n  kept too\nprompt 1\nlabel dos\n  B\n");
    // A CR after the name makes another name: the old block stays.
    EXPECT_EQ(Blocks("label dos\r\n  kernel memdisk\r\n", "dos"), "label dos\r\n  kernel memdisk\r\nlabel dos\n  B\n");
    EXPECT_EQ(Blocks("label dos-6\n  x\nlabel dos\n  y\n", "dos-6"), "label dos\n  y\nlabel dos-6\n  B\n");
}

TEST_F(MenuTextTest, TheDefaultLineIsReplacedOnlyWhereALineEndFollowsIt)
{
    EXPECT_EQ(Default("#zentaq\ndefault flash\r\nprompt 1\ndefault flash\r\n", "dos"), "#zentaq\ndefault dos\nprompt 1\ndefault dos\n");
    EXPECT_EQ(Default("prompt 1\ndefault flash", "dos"), "prompt 1\ndefault flash") << "no LF after it";
    EXPECT_EQ(Default("#zentaq\nprompt 1\n", "dos"), "#zentaq\ndefault dos\nprompt 1\n");
    EXPECT_EQ(Default("prompt 1\n#zentaq", "dos"), "prompt 1\n#zentaq\ndefault dos\n");
    EXPECT_TRUE(drive.HasDefaultEntry("\n\ndefaultx\n"));
    EXPECT_FALSE(drive.HasDefaultEntry(" default flash\nDEFAULT flash\n"));
}

}  // namespace
