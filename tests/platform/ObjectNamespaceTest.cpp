// Symbolic links of the object namespace, queried the way discovery queries them.
#include "platform/TestHooks.h"
#include "platform/Win32.h"
#include "tests/support/Sandbox.h"

namespace {

struct Query {
    NTSTATUS open = 0, query = 0;
    std::string target;
};

// 510-byte counted buffer, as discovery uses.
Query QueryLink(const std::string& name)
{
    Query result;
    WCHAR buffer[256] = {};
    UNICODE_STRING text{0, 510, buffer};
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, name.c_str());
    if (!NT_SUCCESS(RtlAnsiStringToUnicodeString(&text, &ansi, FALSE)))
        return result;
    OBJECT_ATTRIBUTES attributes{24, nullptr, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    HANDLE link = nullptr;
    result.open = NtOpenSymbolicLinkObject(&link, READ_CONTROL | SYMBOLIC_LINK_QUERY, &attributes);
    if (!NT_SUCCESS(result.open))
        return result;
    result.query = NtQuerySymbolicLinkObject(link, &text, nullptr);
    if (NT_SUCCESS(result.query))
        for (int i = 0; i < text.Length / 2; ++i)
            result.target += char(text.Buffer[i]);
    EXPECT_EQ(NtClose(link), STATUS_SUCCESS);
    return result;
}

class NamespaceTest : public SandboxTest {
protected:
    void Machine()
    {
        MakeImage(dir / "a.img", 1 << 20);
        MakeImage(dir / "b.img", 1 << 20);
        MakeImage(dir / "fd.img", 1474560);
        dir.UseConf("floppy A fd.img\ndisk 0 IDE a.img \"S\"\ndisk 1 USBSTOR b.img \"K\"\n");
    }
};

TEST_F(NamespaceTest, LetterAndFirstPartitionLeadToTheSameVolumeUntilTheLetterGoes)
{
    Machine();
    EXPECT_EQ(QueryLink("\\??\\D:").target, "\\Device\\HarddiskVolume2");
    EXPECT_EQ(QueryLink("\\Device\\Harddisk1\\Partition1").target, "\\Device\\HarddiskVolume2");
    EXPECT_EQ(QueryLink("\\device\\HARDDISK1\\partition1").target, "\\Device\\HarddiskVolume2");
    EXPECT_EQ(QueryLink("\\??\\C:").target, "\\Device\\HarddiskVolume1");
    EXPECT_EQ(QueryLink("\\??\\A:").target, "\\Device\\Floppy0");
    EXPECT_EQ(QueryLink("\\??\\B:").open, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(QueryLink("\\Device\\Harddisk2\\Partition1").open, STATUS_OBJECT_NAME_NOT_FOUND);
    // The end of a chain is a device, not a link.
    EXPECT_EQ(QueryLink("\\Device\\HarddiskVolume2").open, STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(QueryLink("\\Device\\HarddiskVolume3").open, STATUS_OBJECT_NAME_NOT_FOUND);
    // A removed letter no longer links; the partition still does.
    ASSERT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "D:", nullptr));
    EXPECT_EQ(QueryLink("\\??\\D:").open, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(QueryLink("\\Device\\Harddisk1\\Partition1").target, "\\Device\\HarddiskVolume2");
}

TEST_F(NamespaceTest, TestLinksAndTargetsTooLongForTheBuffer)
{
    Machine();
    platform::DefineTestLink("\\Loop\\One", "\\Loop\\Two");
    platform::DefineTestLink("\\Loop\\Two", "\\Loop\\One");
    EXPECT_EQ(QueryLink("\\loop\\one").target, "\\Loop\\Two");
    EXPECT_EQ(QueryLink("\\Loop\\Two").target, "\\Loop\\One");

    platform::DefineTestLink("\\Long\\255", "\\" + std::string(254, 'x'));
    platform::DefineTestLink("\\Long\\256", "\\" + std::string(255, 'x'));
    EXPECT_EQ(QueryLink("\\Long\\255").target.size(), 255u);  // exactly fills 510 bytes
    EXPECT_EQ(QueryLink("\\Long\\256").query, STATUS_BUFFER_TOO_SMALL);
    platform::ClearTestLinks();
    EXPECT_EQ(QueryLink("\\Loop\\One").open, STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(NamespaceTest, ConversionIntoACallerBuffer)
{
    WCHAR buffer[4];
    UNICODE_STRING text{0, sizeof buffer, buffer};
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, "\\??\\E:");
    EXPECT_EQ(ansi.Length, 6);
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&text, &ansi, FALSE), STATUS_BUFFER_OVERFLOW);
    RtlInitAnsiString(&ansi, "\\??");
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&text, &ansi, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(text.Length, 6);
    EXPECT_EQ(buffer[3], 0);
    UNICODE_STRING allocated{};
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&allocated, &ansi, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(allocated.Buffer[2], u'?');
    RtlFreeUnicodeString(&allocated);

    HANDLE bogus = reinterpret_cast<HANDLE>(uintptr_t(0x7FFF0000));
    UNICODE_STRING out{0, sizeof buffer, buffer};
    EXPECT_EQ(NtQuerySymbolicLinkObject(bogus, &out, nullptr), STATUS_INVALID_HANDLE);
    EXPECT_EQ(NtClose(bogus), STATUS_INVALID_HANDLE);
}

}  // namespace
