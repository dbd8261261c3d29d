// Text conversions and the file-dialog conventions.
#include <gtest/gtest.h>

#include "framework/FileFilter.h"
#include "framework/TextCodec.h"

TEST(Text, BoundedCopyNeverCutsACharacter)
{
    const std::string text = "aé日x";   // 1 + 2 + 3 + 1 bytes
    char buffer[16];
    EXPECT_EQ(CopyTextBounded(text, buffer, 16), 7);
    EXPECT_STREQ(buffer, "aé日x");
    EXPECT_EQ(CopyTextBounded(text, buffer, 7), 6);   // room for 6 bytes: all but x
    EXPECT_STREQ(buffer, "aé日");
    EXPECT_EQ(CopyTextBounded(text, buffer, 6), 3);   // 日 would not fit whole
    EXPECT_STREQ(buffer, "aé");
    EXPECT_EQ(CopyTextBounded(text, buffer, 3), 1);
    EXPECT_EQ(CopyTextBounded(text, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'z';
    EXPECT_EQ(CopyTextBounded(text, buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'z');   // no room even for the NUL: untouched
}

TEST(Text, Utf16ToUtf8HandlesPairsAndLoneSurrogates)
{
    EXPECT_EQ(Utf16ToUtf8(u"A\u00e9\u65e5"), "Aé日");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
}

TEST(Text, MnemonicMarkup)
{
    EXPECT_EQ(StripMnemonics("&Next >"), "Next >");
    EXPECT_EQ(StripMnemonics("Save && quit"), "Save & quit");
    EXPECT_EQ(StripMnemonics("戻る(&B)"), "戻る(B)");
    EXPECT_EQ(StripMnemonics("end&"), "end");
}

TEST(FileDialogConventions, WindowsFilterBecomesQtFilters)
{
    EXPECT_EQ(QtNameFilters("Image Files (*.img)|*.img||"), QStringList{"Image Files (*.img)"});
    EXPECT_EQ(QtNameFilters("Images|*.img;*.ima|All (*.*)|*.*||"),
              (QStringList{"Images (*.img *.ima)", "All (*.*)"}));
    EXPECT_TRUE(QtNameFilters("").isEmpty());
}

TEST(FileDialogConventions, DefaultExtensionOnlyWhenTheNameHasNone)
{
    EXPECT_EQ(WithDefaultExtension("/tmp/backup", ".img"), "/tmp/backup.img");
    EXPECT_EQ(WithDefaultExtension("/tmp/backup", "img"), "/tmp/backup.img");
    EXPECT_EQ(WithDefaultExtension("/tmp/backup.bin", ".img"), "/tmp/backup.bin");
    EXPECT_EQ(WithDefaultExtension("/tmp.d/backup", ".img"), "/tmp.d/backup.img");
    EXPECT_EQ(WithDefaultExtension("/tmp/backup", ""), "/tmp/backup");
}
