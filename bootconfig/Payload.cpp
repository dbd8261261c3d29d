// What the boot menu names must lie in the key's root: the firmware-flash tree, copied from
// the flash folder beside the program, or an image of a floppy disk with MEMDISK beside it.
// The files are data of outside packages, copied byte for byte.
#include "keydrive/KeyDrive.h"

#include <algorithm>

#include "framework/Afx.h"
#include "keydrive/KeyProgress.h"
#include "res/resource.h"

namespace {

constexpr DWORD kBlockSectors = 72;   // two cylinders of a 1.44 MB floppy
constexpr int kBlockSteps = 2880;

// The sectors of the medium in the drive, or the whole run of blocks when its size is not known.
uint64_t MediumSectors(HANDLE floppy)
{
    DWORD high = 0;
    DWORD low = GetFileSize(floppy, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return static_cast<uint64_t>(kBlockSteps) * kBlockSectors;
    return ((static_cast<uint64_t>(high) << 32) | low) / 512;
}

}  // namespace

// A run that stopped at a folder the key already holds returns false without a noted
// failure, as the copy of that level ends there; a file or folder that could not be copied
// or made anywhere in the tree is a noted failure.
bool CKeyDrive::CopyFlashPackage()
{
    ClearFailure();
    bool copied = CopyFlashFolder("");
    return m_failure.nStep != 0 ? Failed() : copied;
}

bool CKeyDrive::CopyFlashFolder(const std::string& relativePath)
{
    std::string destination = FormatText(LoadResString(IDS_KEY_DRIVE).c_str(), m_chLetter) + relativePath;
    char working[MAX_PATH] = "";
    DWORD length = GetCurrentDirectoryA(MAX_PATH, working);
    bool haveWorking = length != 0 && length < MAX_PATH;
    if (length >= MAX_PATH)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);   // the working folder does not fit
    std::string source = std::string(working) + LoadResString(IDS_FLASH_FOLDER) + relativePath;

    WIN32_FIND_DATAA entry;
    HANDLE find = haveWorking ? FindFirstFileA((source + "\\*").c_str(), &entry) : INVALID_HANDLE_VALUE;
    if (find == INVALID_HANDLE_VALUE) {
        // No flash folder, or an empty one: nothing to copy.
        DWORD error = GetLastError();
        if (haveWorking && (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND))
            return true;
        return NoteFailure(IDS_LISTING_FOLDER, source);
    }
    bool copied = true;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string from = source + "\\" + name;
        std::string to = destination + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A folder that is already there ends this level: the tree was copied before.
            if (!CreateDirectoryA(to.c_str(), nullptr)) {
                if (GetLastError() != ERROR_ALREADY_EXISTS)
                    NoteFailure(IDS_CREATING_FOLDER, to);
                copied = false;
                break;
            }
            CopyFlashFolder(relativePath + "\\" + name);   // this level goes on whatever it gives
        } else {
            if (CKeyProgress* progress = KeyProgress())
                progress->ShowCopying(name);
            if (!CopyFileExA(from.c_str(), to.c_str(), CopyProgress, nullptr, nullptr, 0)) {
                NoteFailure(IDS_COPYING_FILE, to);
                copied = false;
                break;
            }
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return copied;
}

// Both the drive and the image are opened before either result is looked at; an image that
// was created stays on the key, empty, when the drive cannot be opened. MEMDISK goes beside
// the image even when the floppy could not be read: the menu entry that boots an image
// needs it.
bool CKeyDrive::CaptureFloppyImage(const std::string& drive, const std::string& shortName)
{
    ClearFailure();
    std::string memdiskSource = LoadResString(IDS_MEMDISK_SOURCE);
    std::string memdiskTarget = FormatText(LoadResString(IDS_MEMDISK_TARGET).c_str(), m_chLetter);
    std::string device = LoadResString(IDS_FLOPPY_DEVICE) + drive;
    std::string image = FormatText(LoadResString(IDS_IMAGE_NAME).c_str(), m_chLetter, shortName.c_str(),
                                   LoadResString(IDS_IMAGE_SUFFIX).c_str());

    HANDLE floppy = OpenForReading(device.c_str());
    if (floppy == INVALID_HANDLE_VALUE)
        NoteFailure(IDS_READING_FLOPPY, drive);
    HANDLE file = CreateAlways(image.c_str());
    if (file == INVALID_HANDLE_VALUE)
        NoteFailure(IDS_WRITING_FILE, image);
    if (floppy == INVALID_HANDLE_VALUE || file == INVALID_HANDLE_VALUE) {
        CloseFile(floppy);
        CloseFile(file);
        return Failed();
    }

    // The medium's own size ends the run; its last block may be short. A block that fails
    // ends it too: the blocks after it would stand at the wrong place in the image.
    uint64_t sectors = MediumSectors(floppy);
    if (sectors == 0) {
        SetLastError(ERROR_NOT_READY);
        NoteFailure(IDS_READING_FLOPPY, drive);
    }
    uint64_t done = 0;
    for (int step = 0; step < kBlockSteps && done < sectors && m_failure.nStep == 0; ++step) {
        RepaintProgress();
        DWORD count = static_cast<DWORD>(std::min<uint64_t>(kBlockSectors, sectors - done));
        if (!CopySectors(floppy, file, count)) {
            if (GetLastError() == ERROR_HANDLE_EOF && done > 0)
                break;   // the medium ends before its size said
            if (GetLastError() == ERROR_SUCCESS)
                SetLastError(ERROR_READ_FAULT);
            NoteFailure(IDS_READING_FLOPPY, drive);
        }
        done += count;
    }

    if (!CopyFileA(memdiskSource.c_str(), memdiskTarget.c_str(), FALSE))
        NoteFailure(IDS_COPYING_FILE, memdiskTarget);
    CloseFile(floppy);
    if (!CloseFile(file))   // the image reaches the key here
        NoteFailure(IDS_WRITING_FILE, image);
    return m_failure.nStep == 0 ? true : Failed();
}
