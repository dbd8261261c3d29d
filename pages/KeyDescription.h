// What a person knows a disk as: model, size and device path.
#pragma once

#include <cstdint>
#include <string>

// "Virtual Kivra 256 MB, 256 MiB (/dev/sdb)" from the key-description text of the string table.
std::string KeyDescription(int diskNumber);
// 268435456 -> "256 MiB", 8053063680 -> "7.5 GiB", 1000204886016 -> "931.5 GiB".
std::string SizeText(uint64_t bytes);
