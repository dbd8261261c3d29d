// The program's embedded resources as the framework reads them: the wizard's dialogs in
// English and Japanese with their controls, every string in both languages, the
// bitmaps and the icon.
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

struct ExpectedControl {
    int id;
    ControlClass cls;
    uint32_t buttonType;   // BS_* for buttons, ignored otherwise
    const char* text;
    int x, y, cx, cy;
};

DialogTemplateData Dialog(uint16_t id, uint16_t language)
{
    const ResEntry* e = ModuleResources().FindExact(RT_DIALOG_ID, id, language);
    EXPECT_NE(e, nullptr) << "dialog " << id << " language " << language;
    auto d = e ? ParseDialogTemplate(e->data, e->size) : std::nullopt;
    return d.value_or(DialogTemplateData{});
}

void ExpectControls(const DialogTemplateData& d, const std::vector<ExpectedControl>& expected)
{
    ASSERT_EQ(d.items.size(), expected.size()) << d.title;
    for (size_t i = 0; i < expected.size(); ++i) {
        const DialogItem& item = d.items[i];
        const ExpectedControl& e = expected[i];
        SCOPED_TRACE(d.title + " control " + std::to_string(i));
        EXPECT_EQ(item.id, e.id);
        EXPECT_EQ(item.controlClass, e.cls);
        if (e.cls == ControlClass::Button) {
            EXPECT_EQ(item.style & BS_TYPEMASK, e.buttonType);
        }
        if (e.text) {
            EXPECT_EQ(item.text, e.text);
        }
        EXPECT_EQ(std::make_tuple(item.x, item.y, item.cx, item.cy), std::make_tuple(e.x, e.y, e.cx, e.cy));
    }
}

// The first n controls of a template.
DialogTemplateData FirstControls(DialogTemplateData d, size_t n)
{
    if (d.items.size() > n)
        d.items.resize(n);
    return d;
}

const auto S = ControlClass::Static;
const auto B = ControlClass::Button;
const auto C = ControlClass::ComboBox;
const auto E = ControlClass::Edit;
const uint32_t RADIO = BS_AUTORADIOBUTTON_STYLE;
const uint32_t CHECK = BS_AUTOCHECKBOX_STYLE;

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

TEST_F(ProgramResources, KeySelectionPage)
{
    DialogTemplateData en = Dialog(IDD_FINDKEY, 1033);
    EXPECT_EQ(en.title, "Find");
    EXPECT_EQ(en.cx, 317);
    EXPECT_EQ(en.cy, 143);
    ASSERT_GE(en.items.size(), 3u);
    ExpectControls(FirstControls(en, 3),
                   {{IDC_FIND_PROMPT, S, 0, "Choose the drive letter your key drive is currently using:", 21, 1, 241, 10},
                    {IDC_LETTER_LABEL, S, 0, "Drive Letter:", 21, 36, 41, 8},
                    {IDC_LETTER, C, 0, "", 65, 35, 48, 44}});
    const DialogItem& combo = en.items[2];
    EXPECT_EQ(combo.style & 3u, CBS_DROPDOWNLIST_STYLE);
    EXPECT_TRUE(combo.style & CBS_SORT_STYLE);
    EXPECT_TRUE(combo.style & WS_TABSTOP_STYLE);
    DialogTemplateData ja = Dialog(IDD_FINDKEY, 1041);
    EXPECT_EQ(ja.title, "検出");
    EXPECT_EQ(ja.items[0].text, "キードライブが現在使用しているドライブ名を選択してください:");
    EXPECT_EQ(ja.items[1].text, "ドライブ名:");
}

TEST_F(ProgramResources, TaskPage)
{
    DialogTemplateData en = Dialog(IDD_TASK, 1033);
    EXPECT_EQ(en.title, "Task");
    ExpectControls(en, {
        {-1, S, 0, "Choose what task you would like to perform:", 21, 1, 275, 10},
        {IDC_BACKUP_RESTORE, B, RADIO, "Backup / Restore", 21, 82, 73, 10},
        {IDC_CREATE_NEW, B, RADIO, "Create New or Replace Existing Configuration", 21, 14, 159, 10},
        {IDC_ADD_CONFIGURATION, B, RADIO, "Add Configuration to Existing Key", 21, 50, 120, 10},
        {IDC_BACKUP_FIRST, B, CHECK, "Backup Existing Contents", 53, 36, 243, 10},
        {-1, S, 0, "Create fresh configuration files to allow your key to boot.  (Recommended)", 33, 25, 263, 12},
        {-1, S, 0, "Modify the configuration of an existing key to add a boot choice.", 33, 60, 263, 12},
        {-1, S, 0, "Perform a backup or restore operation on a key.", 33, 92, 263, 12},
    });
    // The three radio buttons and the check box are one group; the check box starts disabled.
    for (size_t i = 2; i <= 4; ++i)
        EXPECT_FALSE(en.items[i].style & WS_GROUP_STYLE) << i;
    EXPECT_TRUE(en.items[1].style & WS_GROUP_STYLE);
    EXPECT_TRUE(en.items[4].style & WS_DISABLED_STYLE);
    EXPECT_TRUE(en.items[4].style & WS_TABSTOP_STYLE);
    DialogTemplateData ja = Dialog(IDD_TASK, 1041);
    EXPECT_EQ(ja.title, "Task");
    EXPECT_EQ(ja.items[1].cx, 108);
    EXPECT_EQ(ja.items[1].text, "バックアップ / リストア");
    EXPECT_EQ(ja.items[2].text, "新規作成または、既存の設定の入れ替え");
    EXPECT_EQ(ja.items[4].text, "既存の内容をバックアップ");
}

TEST_F(ProgramResources, RolePage)
{
    ExpectControls(Dialog(IDD_ROLE, 1033), {
        {IDC_ROLE_PROMPT, S, 0, "Choose role you wish the key to serve", 21, 0, 120, 8},
        {IDC_HARD_DRIVE, B, RADIO, "Hard Drive", 21, 18, 50, 10},
        {IDC_FLOPPY_DISK, B, RADIO, "Floppy Disk", 21, 49, 53, 10},
        {-1, S, 0, "Format Kivra as a fixed disk, mapping it to drive C: under DOS.", 37, 29, 214, 12},
        {-1, S, 0, "Format Kivra as a floppy disk to give it DOS based floppy disk functionallity.  Warning, this will erase the selected Kivra.", 37, 61, 218, 17},
    });
    DialogTemplateData ja = Dialog(IDD_ROLE, 1041);
    EXPECT_EQ(ja.title, "役割");
    ExpectControls(ja, {
        {IDC_ROLE_PROMPT, S, 0, "キーに行わせる役割を選択してください。", 21, 0, 153, 8},
        {IDC_HARD_DRIVE, B, RADIO, "ハードディスク", 21, 24, 72, 10},
        {IDC_FLOPPY_DISK, B, RADIO, "ディスケットドライブ", 21, 53, 96, 10},
    });
}

TEST_F(ProgramResources, ExteriorPagesAndBackupPage)
{
    DialogTemplateData welcome = Dialog(IDD_WELCOME, 1033);
    EXPECT_EQ(welcome.title, "Bootwright");
    ASSERT_EQ(welcome.items.size(), 1u);
    EXPECT_EQ(std::make_tuple(welcome.items[0].x, welcome.items[0].y, welcome.items[0].cx, welcome.items[0].cy),
              std::make_tuple(120, 10, 176, 132));
    EXPECT_EQ(welcome.items[0].text.rfind("Welcome.\n\nThis utility", 0), 0u);
    DialogTemplateData done = Dialog(IDD_COMPLETE, 1041);
    ASSERT_EQ(done.items.size(), 1u);
    EXPECT_EQ(done.items[0].text.rfind("設定は成功しました!\n\n", 0), 0u);
    EXPECT_EQ(done.items[0].cy, 130);

    DialogTemplateData backup = Dialog(IDD_BACKUP, 1033);
    EXPECT_EQ(backup.title, "Backup");
    ASSERT_GE(backup.items.size(), 8u);
    ExpectControls(FirstControls(backup, 8), {
        {IDC_BACKUP, B, RADIO, "Backup", 21, 18, 41, 10},
        {IDC_BACKUP_LABEL, S, 0, "To filename:", 31, 34, 40, 8},
        {IDC_BACKUP_FILE, E, 0, "", 79, 31, 185, 14},
        {IDC_BACKUP_BROWSE, B, BS_PUSHBUTTON_STYLE, "...", 268, 31, 21, 14},
        {IDC_RESTORE, B, RADIO, "Restore", 21, 51, 41, 10},
        {IDC_RESTORE_LABEL, S, 0, "From filename:", 31, 67, 46, 8},
        {IDC_RESTORE_FILE, E, 0, "", 79, 64, 185, 14},
        {IDC_RESTORE_BROWSE, B, BS_PUSHBUTTON_STYLE, "...", 268, 64, 21, 14},
    });
    EXPECT_TRUE(backup.items[2].style & WS_DISABLED_STYLE);
    EXPECT_TRUE(backup.items[2].style & ES_AUTOHSCROLL_STYLE);
    EXPECT_TRUE(backup.items[1].style & WS_GROUP_STYLE);   // the radio buttons are in different groups
    EXPECT_EQ(Dialog(IDD_BACKUP, 1041).title, "バックアップ");
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
    SetResourceLanguageForTest(0);
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
