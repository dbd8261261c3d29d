// The disk driver's list in the registry, read the way discovery reads it.
#include "platform/Win32.h"
#include "tests/support/Sandbox.h"

namespace {

class RegistryTest : public SandboxTest {
protected:
    HKEY OpenEnum()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\DISK\\Enum", 0, KEY_READ,
                                &key),
                  ERROR_SUCCESS);
        return key;
    }
    // Reads value "i" with a size query first, as discovery does.
    LSTATUS Entry(HKEY key, int i, std::string& text)
    {
        std::string name = std::to_string(i);
        DWORD size = 0;
        LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        std::vector<BYTE> data(size);
        status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, data.data(), &size);
        text.assign(reinterpret_cast<char*>(data.data()));
        EXPECT_EQ(size, text.size() + 1);  // terminated, and counted with its terminator
        return status;
    }
    // "Count", a 4-byte number.
    DWORD Count(HKEY key)
    {
        DWORD count = 99, type = 0, size = 4;
        EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, REG_DWORD);
        EXPECT_EQ(size, 4u);
        return count;
    }
};

TEST_F(RegistryTest, EntriesNameEachDiskByItsBusInDiskOrder)
{
    dir.UseConf("");  // no disk, no entry
    HKEY key = OpenEnum();
    EXPECT_EQ(Count(key), 0u);
    std::string text;
    EXPECT_EQ(Entry(key, 0, text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    for (const char* name : {"a.img", "b.img", "c.img", "d.img"})
        MakeImage(dir / name, 1 << 20);
    dir.UseConf("disk 0 IDE a.img \"Virtual system disk\"\ndisk 1 USBSTOR b.img \"Virtual Kivra 256 MB\"\n"
               "disk 2 usbstor c.img \"Lower\"\ndisk 3 SCSI d.img \"Other\"\n");
    key = OpenEnum();
    EXPECT_EQ(Count(key), 4u);
    ASSERT_EQ(Entry(key, 0, text), ERROR_SUCCESS);
    EXPECT_EQ(text.substr(0, 4), "IDE\\");
    ASSERT_EQ(Entry(key, 1, text), ERROR_SUCCESS);
    EXPECT_EQ(text, "USBSTOR\\Disk&Ven_Virtual&Prod_Kivra_256_MB&Rev_1.00\\0002");
    ASSERT_EQ(Entry(key, 2, text), ERROR_SUCCESS);
    EXPECT_EQ(text.substr(0, 8), "usbstor\\");  // kept verbatim
    ASSERT_EQ(Entry(key, 3, text), ERROR_SUCCESS);
    EXPECT_EQ(text.substr(0, 5), "SCSI\\");
    RegCloseKey(key);
}

TEST_F(RegistryTest, SmallBuffersMissingValuesAndUnreadableEntries)
{
    for (const char* name : {"a.img", "b.img", "c.img", "d.img"})
        MakeImage(dir / name, 1 << 20);
    dir.UseConf("disk 0 IDE a.img \"S\"\ndisk 1 USBSTOR b.img \"K\"\ndisk 2 USBSTOR c.img \"K\"\n"
               "disk 3 USBSTOR d.img \"K\"\nregistry unreadable 2\n");
    HKEY key = OpenEnum();
    BYTE small[5] = {1, 2, 3, 4, 5};
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "1", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_GT(size, 5u);  // the size needed
    std::string text;
    EXPECT_EQ(Entry(key, 1, text), ERROR_SUCCESS);
    EXPECT_EQ(size, text.size() + 1);
    EXPECT_NE(Entry(key, 2, text), ERROR_SUCCESS);
    EXPECT_EQ(Entry(key, 3, text), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Cdrom\\Enum", 0, KEY_READ,
                            &other),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

}  // namespace
