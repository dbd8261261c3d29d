// What the fuzz targets share: a failed check ends the run as a crash does, and a folder of
// its own for a target's files, made in the working folder that scripts/fuzz gives each
// target and removed when the target ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

// A property that does not hold: libFuzzer keeps the input, as it does one that crashes.
inline void Check(bool holds)
{
    if (!holds)
        std::abort();
}

inline const std::string& FuzzFolder()
{
    // Never destroyed: the removal at exit still needs it.
    static const std::string& folder = *[] {
        char name[] = "fuzz-XXXXXX";
        if (!::mkdtemp(name))
            std::abort();
        std::atexit([] { std::filesystem::remove_all(FuzzFolder()); });
        return new std::string(std::filesystem::absolute(name).string());
    }();
    return folder;
}

inline void PutFile(const std::string& path, const void* data, size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(static_cast<const char*>(data), std::streamsize(size));
}

// A sparse image of that many bytes; its first bytes, when given, are written at its start.
inline void PutImage(const std::string& path, uint64_t size, const void* start = nullptr, size_t startSize = 0)
{
    PutFile(path, start, startSize);
    std::filesystem::resize_file(path, size);
}
