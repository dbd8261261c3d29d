// The program's embedded resources as the framework reads them: the wizard's dialogs in
// English and Japanese with their controls, every string in both languages, the bitmaps
// and the icon, and the English texts shown whole. What each dialog, string and bitmap
// holds is checked once, by scripts/check-resources --check (the test resources_check).
#include <QCheckBox>
#include <QFontMetrics>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "framework/Afx.h"
#include "framework/DialogBuilder.h"
#include "framework/DialogUnits.h"
#include "framework/ModuleResources.h"
#include "framework/ResourceImages.h"
#include "res/resource.h"
#include "framework/TestSeam.h"

namespace {

DialogTemplateData Dialog(uint16_t id, uint16_t language)
{
    const ResEntry* e = ModuleResources().FindExact(RT_DIALOG_ID, id, language);
    EXPECT_NE(e, nullptr) << "dialog " << id << " language " << language;
    auto d = e ? ParseDialogTemplate(e->data, e->size) : std::nullopt;
    return d.value_or(DialogTemplateData{});
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ModuleResources().Entries().empty())
            GTEST_SKIP() << "no embedded resources in this build";
    }
};

}  // namespace

TEST_F(ProgramResources, EveryPageExistsInBothLanguagesWithTheSameControls)
{
    for (uint16_t id : {106, 108, 109, 110, 111, 112, 113, 114, 115, 116}) {
        DialogTemplateData en = Dialog(id, 1033), ja = Dialog(id, 1041);
        EXPECT_EQ(en.typeface, "MS Sans Serif") << id;
        EXPECT_EQ(en.pointSize, 8) << id;
        EXPECT_EQ(ja.typeface, "ＭＳ ゴシック") << id;
        EXPECT_EQ(ja.pointSize, 9) << id;
        EXPECT_EQ(en.cx, ja.cx) << id;
        if (id == IDD_ROLE)
            continue;   // the Japanese role page has no descriptions
        ASSERT_EQ(en.items.size(), ja.items.size()) << id;
        for (size_t i = 0; i < en.items.size(); ++i)
            EXPECT_EQ(en.items[i].id, ja.items[i].id) << id;
    }
}

TEST_F(ProgramResources, EveryStringInBothLanguages)
{
    const int ids[] = {IDS_SOCKETS_INIT_FAILED, IDS_WIZARD_CAPTION, IDS_NEED_ROOT, IDS_KEY_DESCRIPTION, IDS_KEY_NONE,
                       IDS_BLANKING_DRIVE, IDS_LANDING_MBR, IDS_PARTITIONING, IDS_FORMATTING, IDS_INSTALLING_SYSLINUX,
                       IDS_ERROR, IDS_SYSLINUX_COMMAND, IDS_MBR_PATH, IDS_IMAGE_FILTER, IDS_IMAGE_EXTENSION,
                       IDS_IMAGES_FOLDER, IDS_DRIVE_A, IDS_DRIVE_B, IDS_FLOPPY_DEVICE, IDS_COPYING, IDS_BACKING_UP,
                       IDS_RESTORING, IDS_CFG_FILE, IDS_MENU_FILE, IDS_HELP_FILE, IDS_MARKER, IDS_DEFAULT_LINE,
                       IDS_HEADER_TEMPLATE, IDS_LABEL_LINE, IDS_IMAGE_BODY, IDS_FIRMWARE_BODY, IDS_STAR_OPEN,
                       IDS_STAR_CLOSE, IDS_ENTRY_LINE, IDS_FLASH_SHORT, IDS_FLASH_LONG, IDS_IMAGE_NAME};
    for (uint16_t language : {1033, 1041}) {
        for (int id : ids) {
            const ResEntry* e = ModuleResources().FindExact(RT_STRING_ID, static_cast<uint16_t>(id / 16 + 1), language);
            std::u16string text;
            EXPECT_TRUE(e && StringFromTable(*e, static_cast<uint16_t>(id), text)) << id << " in " << language;
        }
    }
    SetResourceLanguageForTest(1041);
    EXPECT_EQ(LoadResString(IDS_SOCKETS_INIT_FAILED), "Windows ソケットの初期化に失敗しました。");
    EXPECT_EQ(LoadResString(IDS_BLANKING_DRIVE), "ドライブを空にしています");
    SetResourceLanguageForTest(1033);
    EXPECT_EQ(LoadResString(IDS_SOCKETS_INIT_FAILED), "Windows sockets initialization failed.");
    EXPECT_EQ(LoadResString(IDS_BLANKING_DRIVE), "Blanking Drive");
}

TEST_F(ProgramResources, BitmapsAndIcon)
{
    for (uint16_t id : {IDB_HEADER, IDB_WATERMARK}) {
        const ResEntry* e = ModuleResources().Find(RT_BITMAP_ID, id, 1033);
        ASSERT_NE(e, nullptr) << id;
        const int bits = e->data[14];
        EXPECT_TRUE(bits == 24 || bits == 32) << id << ": " << bits;
        QImage image = ImageFromDib(e->data, e->size);
        ASSERT_FALSE(image.isNull()) << id;
        std::printf("bitmap %d: %dx%d, %d bits\n", id, image.width(), image.height(), bits);
    }
    const ResEntry* group = ModuleResources().Find(RT_GROUP_ICON_ID, IDI_BOOTWRIGHT, 1033);
    ASSERT_NE(group, nullptr);
    QIcon icon = IconFromGroup(ModuleResources(), *group);
    EXPECT_FALSE(icon.availableSizes().isEmpty());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
}

TEST_F(ProgramResources, EnglishTextsAreShownWhole)
{
    // A static text one line high must fit its box in the mapped font, as on Windows;
    // check boxes and radio buttons must show their whole text.
    QWidget host;
    for (uint16_t id : {106, 108, 109, 110, 111, 112, 113, 114, 115, 116}) {
        DialogTemplateData d = Dialog(id, 1033);
        BuiltDialog built = BuildDialog(d, &host);
        QFontMetrics fm(built.font.font);
        for (const DialogItem& item : d.items) {
            if (item.text.empty() || item.text.find('\n') != std::string::npos)
                continue;
            QWidget* w = built.impl->controls[static_cast<size_t>(&item - d.items.data())]->widget;
            if (item.controlClass == ControlClass::Static && item.cy <= 10) {
                const QString shown = QString::fromUtf8(item.text.c_str()).remove(QLatin1Char('&'));
                EXPECT_LE(fm.horizontalAdvance(shown), w->width()) << id << " \"" << item.text << "\"";
            }
            if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << id << " \"" << item.text << "\"";
            }
        }
    }
}
