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
