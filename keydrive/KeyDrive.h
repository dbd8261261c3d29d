// The one object through which the program touches the USB key below its file system:
// the letters that are keys, the selected key's disk and volume handles, its geometry
// and layout, and the operations that prepare and configure it.
#pragma once

#include <string>
#include <vector>

#include "keydrive/KeyFailure.h"
#include "platform/Win32.h"

class CKeyDrive {
public:
    CKeyDrive();
    ~CKeyDrive();
    CKeyDrive(const CKeyDrive&) = delete;
    CKeyDrive& operator=(const CKeyDrive&) = delete;

    // Handles and shared routines
    HANDLE OpenExisting(LPCSTR path);
    HANDLE CreateAlways(LPCSTR path);
    HANDLE OpenForReading(LPCSTR path);
    bool CloseFile(HANDLE handle);
    bool OpenKey(char letter);
    bool CloseKey();
    bool RefreshKey();
    bool QueryGeometry(HANDLE disk);
    bool QueryLayout();
    bool CopySectors(HANDLE source, HANDLE destination, DWORD count);

    // Discovery
    bool FindKeys();
    DWORD GetUsbDiskMask();
    std::string QuerySymbolicLink(const std::string& name);
    std::string ResolveSymbolicLink(const std::string& name);
    bool ReleaseDriveLetter();

    // Preparation
    bool HasPartitionTable();
    bool BlankKey();
    bool LandMbr();
    bool WritePartitionTable();
    bool FormatKey();
    static BOOLEAN FormatCallback(CALLBACKCOMMAND command, DWORD subAction, LPVOID actionInfo);

    // Boot loader
    bool InstallBootLoader();
    bool InstallUefiBoot();

    // Raw image transfer
    DWORD GetUsedSectors();
    bool TransferImage(HANDLE file, bool toKey);
    bool Backup(HANDLE file);
    bool Restore(HANDLE file);
    bool WriteFloppyImage(HANDLE source);
    // Reads the first count sectors back from the key, past what the system holds of it in
    // memory, and compares them with what the last transfer onto the key wrote from source.
    bool VerifySectors(HANDLE source, DWORD count);
    // The percentage shown after sector `index` of `total` (0 to 99).
    static int TransferPercent(DWORD index, DWORD total);

    // A block that the last transfer onto the key wrote: its first sector, its sectors, and
    // a fingerprint of what was written.
    struct WrittenBlock {
        DWORD nFirst;
        DWORD nCount;
        ULONGLONG nFingerprint;
    };

    // Boot menu files
    bool WriteFlashConfiguration();
    bool AddImageConfiguration(const std::string& shortName, const std::string& longName);
    // Before a choice is added: a string-table text that says why a short name cannot name
    // one (0 when it can), and whether the key already holds a choice of that name.
    static UINT ShortNameProblem(const std::string& shortName);
    bool HasBootChoice(const std::string& shortName, bool& bFound);
    bool WriteBootMenu(const std::string& shortName, const std::string& longName, bool makeDefault, bool isImage);
    void ComposeBootMenu(std::string& config, bool configFound, std::string& menu, bool menuFound,
                         const std::string& shortName, const std::string& longName, bool makeDefault, bool isImage);
    bool ReadWholeFile(HANDLE file, std::string& text);
    bool WriteWholeFile(const std::string& text, HANDLE file);
    static std::string NextToken(const std::string& text, const std::string& delimiters, size_t& position);
    void UpdateMenuText(std::string& menu, const std::string& shortName, const std::string& longName);
    bool HasDefaultEntry(const std::string& config);
    bool HasLabelBlock(const std::string& config, const std::string& shortName);
    bool HasMenuEntry(const std::string& menu, const std::string& shortName);
    void SetDefaultEntry(std::string& config, const std::string& shortName);
    void PutLabelBlock(std::string& config, const std::string& shortName, const std::string& body);
    bool WriteUefiMenu(const std::string& config, const std::string& menu);

    // Payload
    bool CopyFlashPackage();
    bool CopyFlashFolder(const std::string& relativePath);
    bool CaptureFloppyImage(const std::string& drive, const std::string& shortName);

    // Fields, in declaration order
    BYTE m_bIsKey[26];
    LONG m_nDiskNumber[26];
    DRIVE_LAYOUT_INFORMATION4 m_layout;
    PFORMATEX m_pfnFormatEx;
    char m_chLetter;
    DWORD m_nFormatRetry;
    DISK_GEOMETRY m_geometry;
    HANDLE m_hVolume;
    HANDLE m_hDisk;
    BYTE m_bDriveA;
    BYTE m_bDriveB;

    // The last failure of an operation, for the page's message. The operations that know
    // more than their step (transfers, boot configuration, the installer) note it
    // themselves; the pages note the step that failed otherwise.
    CKeyFailure m_failure;
    void ClearFailure();
    // Notes the first failure since the record was cleared: a step (with its file, folder
    // or drive), or a sentence of its own (with its sector), and the last error as it stands
    // now. Both return false, with the noted error as the last error.
    bool NoteFailure(UINT nStep, const std::string& path = std::string());
    bool NoteFailureText(UINT nText, DWORD sector = 0);
    // Sets the noted error again, for an operation that went on past its failure; false.
    bool Failed();

private:
    // A fingerprint of each block that the last transfer onto the key wrote, so that reading
    // the key back compares what it holds without reading the source a second time.
    std::vector<WrittenBlock> m_writtenBlocks;
    // The last transfer onto the key wrote, or tried to write, some of its sectors.
    bool m_bKeyWritten = false;
    // True when this object's LoadLibraryA found the formatter, so the destructor
    // releases only what it took.
    bool m_bFormatterLoaded;
    // What the formatter's last report (DONE) of the running FormatKey said.
    bool m_bFormatSucceeded = false;

    bool VolumeTooBigForFat16();

    // Raw image transfer: how many sectors go, the floppy's chunks, and the read-back.
    bool SectorsToWrite(HANDLE image, DWORD leastSectors, ULONGLONG mostSectors, UINT tooShort, DWORD& count);
    bool SectorsToRead(DWORD& count);
    bool WriteFloppyChunks(HANDLE source);
    bool CompareWithKey(HANDLE source, DWORD count, bool showProgress);
};
