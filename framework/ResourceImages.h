// Bitmap and icon resources turned into Qt images.
#pragma once

#include <QIcon>
#include <QImage>

#include "framework/ResourceFile.h"

// An RT_BITMAP resource (a device-independent bitmap without file header); a null image
// when the data is damaged or of a kind not supported (1, 4, 8, 24 and 32 bits are).
QImage ImageFromDib(const uint8_t* data, size_t size, bool isIcon = false);
// An RT_GROUP_ICON with its RT_ICON images from the same file.
QIcon IconFromGroup(const ResourceFile& file, const ResEntry& group);
