#include "tests/support/KeyImage.h"

#include <filesystem>

#include "keydrive/KeyDrive.h"
#include "keydrive/ProgressCounters.h"

namespace fs = std::filesystem;

namespace {

const char kMtools[] = "MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null LC_ALL=C.UTF-8 ";

std::string OnKey(const std::string& image) { return " -i " + image + "@@" + std::to_string(kPartitionOffset) + " "; }

}  // namespace

void MakeFatKey(const std::string& image)
{
    uint64_t sectors = fs::file_size(image) / 512 - 63;
    WriteMbr(image, {{0x80, 0x06, 63, static_cast<uint32_t>(sectors)}});
    std::string fat = sectors * 512 < 16 * kMiB ? "12" : "16";
    std::string output;
    ASSERT_EQ(Shell("mkfs.fat -F " + fat + " --offset 63 " + image + " " + std::to_string(sectors / 2), &output), 0)
        << output;
}

std::string KeyFileText(const std::string& image, const std::string& name)
{
    std::string text;
    if (Shell(std::string(kMtools) + "mtype" + OnKey(image) + "'::" + name + "' 2>/dev/null", &text) != 0)
        return "";
    return text;
}

void PutKeyFileText(const std::string& image, const std::string& name, const std::string& text)
{
    std::string local = fs::path(image).parent_path() / "put.tmp";
    WriteText(local, text);
    std::string output;
    ASSERT_EQ(Shell(std::string(kMtools) + "mcopy -o" + OnKey(image) + local + " '::" + name + "'", &output), 0) << output;
    fs::remove(local);
}

std::string KeyListing(const std::string& image, const std::string& folder)
{
    std::string listing;
    Shell(std::string(kMtools) + "mdir -a -b" + OnKey(image) + "'::" + folder + "'", &listing);
    return listing;
}

void ExpectPreparedBootRecord(const std::string& image, uint8_t type)
{
    std::vector<uint8_t> mbr = ReadBytes(image, 0, 512);
    ASSERT_EQ(mbr.size(), 512u);
    EXPECT_EQ(std::vector<uint8_t>(mbr.begin(), mbr.begin() + 440), ReadBytes("syslinux/mbr.bin", 0, 440));
    EXPECT_EQ(std::vector<uint8_t>(mbr.begin() + 440, mbr.begin() + 446), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(mbr[446], 0x80);
    EXPECT_EQ(mbr[450], type);
    EXPECT_EQ(Le32(mbr, 454), 63u);
    EXPECT_EQ(Le32(mbr, 458), static_cast<uint32_t>(fs::file_size(image) / kCylinder * 255 * 63 - 63));
    EXPECT_EQ(std::vector<uint8_t>(mbr.begin() + 462, mbr.begin() + 510), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
}

void ExpectSyslinuxFileSystem(const std::string& image, bool partitioned)
{
    std::string volume = image;
    if (partitioned) {
        volume = image + ".volume";
        std::vector<uint8_t> mbr = ReadBytes(image, 0, 512);
        ExtractRange(image, uint64_t{Le32(mbr, 454)} * 512, uint64_t{Le32(mbr, 458)} * 512, volume);
    }
    std::string output;
    EXPECT_EQ(Shell("fsck.fat -n " + volume, &output), 0) << output;
    EXPECT_EQ(Shell(std::string(kMtools) + "mdir -a -b -i " + volume + " ::", &output), 0) << output;
    EXPECT_NE(output.find("::/ldlinux.sys"), std::string::npos) << output;
    EXPECT_NE(output.find("::/ldlinux.c32"), std::string::npos) << output;
    if (partitioned)
        fs::remove(volume);
}

std::string UseKey(Sandbox& sandbox, CKeyDrive& drive, uint64_t keySize, const std::vector<std::string>& extra)
{
    sandbox.AddDisk("IDE", 16 * kMiB);
    std::string key = sandbox.AddDisk("USBSTOR", keySize);
    for (const std::string& line : extra)
        sandbox.AddLine(line);
    sandbox.Use();
    drive.FindKeys();
    EXPECT_TRUE(drive.OpenKey('D'));
    return key;
}

void RewindProgress(CProgressCounter& counter)
{
    while (counter.Value() % 25 != 1)
        counter.Tick();
}
