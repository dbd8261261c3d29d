// Files and images as bytes: the one way the tests read, write and make them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kCylinder = 255 * 63 * 512;   // bytes of a cylinder in the USB geometry

// Up to count bytes from offset; fewer at the end of the file, none when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count);
void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
// A new file (and its folders) holding exactly these bytes, or this text.
void MakeFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
// A sparse image of that size, zero everywhere.
void MakeImage(const std::string& path, uint64_t size);

std::string Text(const std::vector<uint8_t>& bytes);
// Bytes that differ from sector to sector and from seed to seed, so that a misplaced or
// missing sector shows.
std::vector<uint8_t> Pattern(size_t count, uint8_t seed);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at);

// Copies a byte range of an image (a volume) into a new file, holes kept as holes: fast on
// sparse images. For fsck.fat and mtools, which want the volume alone.
void ExtractRange(const std::string& image, uint64_t offset, uint64_t length, const std::string& out);
