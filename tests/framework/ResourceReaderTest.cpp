// The .res reader on the test resources: records, dialogs in both template forms,
// string tables with language fallback, bitmaps, icons, and damaged files.
#include <QImage>
#include <gtest/gtest.h>

#include "framework/DialogTemplate.h"
#include "framework/ModuleResources.h"
#include "framework/ResourceFile.h"
#include "framework/ResourceImages.h"
#include "tests/framework/TestSupport.h"

namespace {

const ResourceFile& File()
{
    static const ResourceFile file(TestResBytes().data(), TestResBytes().size());
    return file;
}

DialogTemplateData Dialog(uint16_t id, uint16_t language)
{
    const ResEntry* e = File().FindExact(RT_DIALOG_ID, id, language);
    EXPECT_NE(e, nullptr) << id;
    auto d = e ? ParseDialogTemplate(e->data, e->size) : std::nullopt;
    EXPECT_TRUE(d.has_value()) << id;
    return d.value_or(DialogTemplateData{});
}

const DialogItem* Item(const DialogTemplateData& d, int id)
{
    for (const DialogItem& i : d.items)
        if (i.id == id)
            return &i;
    return nullptr;
}

}  // namespace

TEST(ResourceReader, ExtendedDialogCarriesHeaderFontAndControls)
{
    DialogTemplateData d = Dialog(IDD_T_CONTROLS, 1033);
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.title, "Controls");
    EXPECT_EQ(d.cx, 317);
    EXPECT_EQ(d.cy, 160);
    EXPECT_EQ(d.typeface, "MS Sans Serif");
    EXPECT_EQ(d.pointSize, 8);
    ASSERT_EQ(d.items.size(), 18u);

    const DialogItem& label = d.items[0];
    EXPECT_EQ(label.id, -1);
    EXPECT_EQ(label.controlClass, ControlClass::Static);
    EXPECT_EQ(label.text, "Pick:");

    const DialogItem* a = Item(d, IDC_T_RADIO_A);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->controlClass, ControlClass::Button);
    EXPECT_EQ(a->style & BS_TYPEMASK, BS_AUTORADIOBUTTON_STYLE);
    EXPECT_TRUE(a->style & WS_GROUP_STYLE);
    EXPECT_EQ(std::make_tuple(a->x, a->y, a->cx, a->cy), std::make_tuple(10, 12, 40, 10));
    EXPECT_FALSE(Item(d, IDC_T_RADIO_B)->style & WS_GROUP_STYLE);

    const DialogItem* sorted = Item(d, IDC_T_SORTED);
    EXPECT_EQ(sorted->controlClass, ControlClass::ComboBox);
    EXPECT_EQ(sorted->style & 3u, CBS_DROPDOWNLIST_STYLE);
    EXPECT_TRUE(sorted->style & CBS_SORT_STYLE);
    EXPECT_EQ(Item(d, IDC_T_EDITCOMBO)->style & 3u, CBS_DROPDOWN_STYLE);
    EXPECT_EQ(Item(d, IDC_T_EDIT)->controlClass, ControlClass::Edit);
    EXPECT_TRUE(Item(d, IDC_T_DISABLED)->style & WS_DISABLED_STYLE);
    EXPECT_EQ(Item(d, IDC_T_GROUPBOX)->style & BS_TYPEMASK, BS_GROUPBOX_STYLE);
    EXPECT_EQ(Item(d, IDC_T_LABEL)->text, "L&abel && more");
}

TEST(ResourceReader, PlainDialogTemplateIsReadToo)
{
    DialogTemplateData d = Dialog(IDD_T_PLAIN, 1033);
    EXPECT_FALSE(d.extended);
    EXPECT_EQ(d.title, "Plain");
    EXPECT_EQ(d.typeface, "MS Sans Serif");
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0].id, 1);
    EXPECT_EQ(d.items[0].text, "OK");
    EXPECT_EQ(d.items[1].id, -1);
    EXPECT_EQ(d.items[1].controlClass, ControlClass::Static);
    EXPECT_EQ(std::make_tuple(d.items[1].x, d.items[1].y, d.items[1].cx, d.items[1].cy), std::make_tuple(10, 30, 60, 8));
}

TEST(ResourceReader, JapaneseTemplateAndFallbackToEnglish)
{
    DialogTemplateData ja = Dialog(IDD_T_FIRST, 1041);
    EXPECT_EQ(ja.title, "最初");
    EXPECT_EQ(ja.typeface, "ＭＳ ゴシック");
    EXPECT_EQ(ja.pointSize, 9);
    EXPECT_EQ(Item(ja, IDC_T_RADIO_B)->text, "ベータ");

    UseTestResources japanese(1041);
    EXPECT_EQ(LoadDialogTemplate(IDD_T_FIRST)->title, "最初");
    EXPECT_EQ(LoadDialogTemplate(IDD_T_SECOND)->title, "Second");   // only in English
    EXPECT_FALSE(LoadDialogTemplate(999).has_value());
}

TEST(ResourceReader, StringsByLanguageWithFallbackPerString)
{
    {
        UseTestResources english(1033);
        EXPECT_EQ(LoadResString(IDS_T_HELLO), "Hello");
        EXPECT_EQ(LoadResString(IDS_T_LONG), "Größe ½");   // block 8, UTF-8 out
    }
    UseTestResources japanese(1041);
    EXPECT_EQ(LoadResString(IDS_T_HELLO), "こんにちは");
    EXPECT_EQ(LoadResString(IDS_T_ONLY_EN), "English only");
    std::string s = "unchanged";
    EXPECT_FALSE(AfxLoadString(102, s));
    EXPECT_EQ(s, "");
    char buffer[8];
    EXPECT_EQ(LoadStringA(nullptr, IDS_T_HELLO, buffer, sizeof buffer), 6);   // two characters of 3 bytes
    EXPECT_STREQ(buffer, "こん");
}

TEST(ResourceReader, BitmapsKeepSizeRowOrderAndAlpha)
{
    const ResEntry* header = File().Find(RT_BITMAP_ID, IDB_T_HEADER, 1033);
    ASSERT_NE(header, nullptr);
    QImage h = ImageFromDib(header->data, header->size);
    ASSERT_EQ(h.size(), QSize(49, 49));
    EXPECT_EQ(h.pixel(0, 0), qRgb(255, 0, 0));     // stored bottom-up: red is at the top
    EXPECT_EQ(h.pixel(48, 48), qRgb(0, 0, 255));
    EXPECT_EQ(header->data[14], 24);               // biBitCount

    const ResEntry* watermark = File().Find(RT_BITMAP_ID, IDB_T_WATERMARK, 1033);
    ASSERT_NE(watermark, nullptr);
    QImage w = ImageFromDib(watermark->data, watermark->size);
    EXPECT_EQ(w.size(), QSize(30, 40));
    EXPECT_EQ(watermark->data[14], 32);
    EXPECT_EQ(qAlpha(w.pixel(5, 5)), 255);
    EXPECT_EQ(qGreen(w.pixel(5, 5)), 255);
}

TEST(ResourceReader, IconGroupGivesEverySize)
{
    const ResEntry* group = File().Find(RT_GROUP_ICON_ID, IDI_T_ICON, 1033);
    ASSERT_NE(group, nullptr);
    QIcon icon = IconFromGroup(File(), *group);
    QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_EQ(icon.pixmap(32, 32).toImage().pixel(10, 10), qRgb(0, 0, 255));
}

TEST(ResourceReader, DamagedFilesNeverCrash)
{
    const std::vector<uint8_t>& full = TestResBytes();
    ASSERT_GT(full.size(), 1000u);
    const size_t complete = ResourceFile(full.data(), full.size()).Entries().size();
    // Cut the file at every offset: every record read is whole, never more than all.
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
        ResourceFile file(part.data(), part.size());
        EXPECT_LE(file.Entries().size(), complete);
        for (const ResEntry& e : file.Entries()) {
            ASSERT_LE(e.data + e.size, part.data() + part.size());
            if (e.type.Is(RT_DIALOG_ID))
                ParseDialogTemplate(e.data, e.size);
            if (e.type.Is(RT_BITMAP_ID))
                ImageFromDib(e.data, e.size);
        }
    }
    // Cut each record's data at every length and flip bytes in it: the decoders refuse
    // or decode, within bounds.
    ResourceFile file(full.data(), full.size());
    for (const ResEntry& e : file.Entries()) {
        for (size_t n = 0; n < e.size; ++n) {
            std::vector<uint8_t> data(e.data, e.data + n);
            if (e.type.Is(RT_DIALOG_ID)) {
                EXPECT_FALSE(ParseDialogTemplate(data.data(), data.size()).has_value());
            }
            if (e.type.Is(RT_BITMAP_ID)) {
                EXPECT_TRUE(ImageFromDib(data.data(), data.size()).isNull());
            }
            if (e.type.Is(RT_STRING_ID)) {
                std::u16string text;
                for (uint16_t id = 0; id < 16; ++id)
                    StringFromTable(ResEntry{e.type, e.name, e.language, data.data(), data.size()}, id, text);
            }
        }
        std::vector<uint8_t> data(e.data, e.data + e.size);
        for (size_t i = 0; i < data.size(); i += 3) {
            data[i] ^= 0xFF;
            if (e.type.Is(RT_DIALOG_ID))
                ParseDialogTemplate(data.data(), data.size());
            if (e.type.Is(RT_BITMAP_ID))
                ImageFromDib(data.data(), data.size());
        }
    }
}
