#include "pages/KeyDescription.h"

#include <cstdio>

#include "framework/Afx.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

std::string SizeText(uint64_t bytes)
{
    static const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        unit++;
    }
    char text[32];
    if (unit == 0 || value >= 100.0 || value == static_cast<double>(static_cast<uint64_t>(value)))
        snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
    else
        snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string KeyDescription(int diskNumber)
{
    char model[128] = "";
    char path[260] = "";
    ULONGLONG size = 0;
    if (!GetDiskDescription(diskNumber, model, sizeof model, &size, path, sizeof path))
        return "";
    std::string format = LoadResString(IDS_KEY_DESCRIPTION);
    std::string sizeText = SizeText(size);
    char text[512];
    snprintf(text, sizeof text, format.c_str(), model, sizeText.c_str(), path);
    return text;
}
