// The boot menu files: written fresh and extended on sandbox keys and read back through
// mtools, and the line edits of their text on their own.
#include <gtest/gtest.h>

#include "keydrive/KeyDrive.h"
#include "res/resource.h"
#include "tests/support/BootMenuTexts.h"
#include "tests/support/KeyImage.h"

using namespace std::string_literals;

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

TEST_F(MenuTextTest, TheMenuKeepsEveryOtherLineAndTakesTheNewEntryLast)
{
    std::string stars = kStars, crlfStars = "*\r\n*\r\n*\r\n*\r\n*\r\n";
    // Lost star blocks come back; extra whole blocks all go; a lone star line stays.
    EXPECT_EQ(Menu("  a - A\n", "b"), stars + "  a - A\n" + Entry("b", "L") + stars);
    EXPECT_EQ(Menu(stars + stars + "*\n  a - A\n" + stars + stars, "b"), stars + "*\n  a - A\n" + Entry("b", "L") + stars);
    // Every line of the name goes, in any case; blank lines, separators and what follows them
    // stay; a last line without its end gets one.
    EXPECT_EQ(Menu(stars + "  b - old\n\n  ----\n\tB - older\n  c - C", "b"), stars + "\n  ----\n  c - C\n" + Entry("b", "L") + stars);
    // A CR LF menu stays CR LF.
    EXPECT_EQ(Menu(crlfStars + "  a - A\r\n  b - B\r\n" + crlfStars, "b"),
              crlfStars + "  a - A\r\n" + Entry("b", "L").insert(Entry("b", "L").size() - 1, "\r") + crlfStars);
    // A hyphenated short name is one name: its old line goes.
    EXPECT_EQ(Menu(Menu("", "dos-6", "One"), "dos-6", "Two"), stars + Entry("dos-6", "Two") + stars);
    // Names over their fields are written whole.
    std::string longName(70, 'x');
    EXPECT_EQ(Menu("", "averylongshortname", longName), stars + Entry("averylongshortname", longName) + stars);
}

// As SYSLINUX reads them: keywords after blanks and in any case, a name in any case up to the
// line's end, a CR a blank. A block ends at a line that begins with a letter or at another
// label or default line; blank lines after it stay.
TEST_F(MenuTextTest, LabelBlocksAreFoundAsSyslinuxReadsThem)
{
    std::string config = "#zentaq\n\nlabel dos\n  kernel memdisk\n# note\n3 lines\n\tappend x\n\ndefault dos\n"
                         "LABEL Dos\n  again\n  label\tdos\r\n  too\nlabel dosx\n  kept\nprompt 1\n";
    EXPECT_EQ(Blocks(config, "dos"), "#zentaq\n\n\ndefault dos\nlabel dosx\n  kept\nprompt 1\nlabel dos\n  B\n");
    EXPECT_EQ(Blocks("label dos\r\n  kernel memdisk\r\nlabel b\r\n", "dos"), "label b\r\nlabel dos\r\n  B\r\n");
    EXPECT_EQ(Blocks("label dos\n  a\n\n  b\n\nprompt 1\n", "dos"), "\nprompt 1\nlabel dos\n  B\n");
    EXPECT_EQ(Blocks("label a\0b\n  x"s, "dos"), "label a\0b\n  x\nlabel dos\n  B\n"s) << "a NUL is a byte like another";
}

TEST_F(MenuTextTest, TheDefaultLineIsFoundInAnyCaseAndTakesTheFilesLineEnd)
{
    EXPECT_EQ(Default("#zentaq\nDEFAULT flash\r\nprompt 1\nDEFAULT flash\r\n", "dos"), "#zentaq\ndefault dos\nprompt 1\ndefault dos\n");
    EXPECT_EQ(Default("prompt 1\ndefault flash", "dos"), "prompt 1\ndefault dos\n") << "a last line without LF";
    EXPECT_EQ(Default("#zentaq\r\nprompt 1\r\n", "dos"), "#zentaq\r\ndefault dos\r\nprompt 1\r\n");
    EXPECT_EQ(Default("prompt 1\n#zentaq", "dos"), "prompt 1\n#zentaq\ndefault dos\n");
    // One line ending in CR, without LF: a CR LF file, also after the default line is added.
    std::string config = "#zentaq\r", menu;
    drive.ComposeBootMenu(config, true, menu, true, "dos", "D", true, true);
    EXPECT_EQ(config, "#zentaq\r\ndefault dos\r\nlabel dos\r\n  kernel memdisk\r\n  append initrd=dos.img\r\n");
    EXPECT_TRUE(drive.HasDefaultEntry("\n\n  Default x\n"));
    EXPECT_FALSE(drive.HasDefaultEntry("defaultx\n# default flash\n"));
}

}  // namespace
