#include "framework/ResourceImages.h"

#include <QPixmap>

namespace {

struct DibHeader {
    uint32_t size = 0;
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, sizeImage = 0;
    int32_t xppm = 0, yppm = 0;
    uint32_t clrUsed = 0, clrImportant = 0;
};

// What the pixels of a bitmap are, from its header.
struct DibLayout {
    int width = 0;
    int64_t height = 0;     // of the colour bits: an icon's image holds its AND mask too
    bool topDown = false;
    int bits = 0;
    uint32_t colours = 0;   // palette entries
};

size_t RowBytes(int width, int bits) { return ((static_cast<size_t>(width) * bits + 31) / 32) * 4; }

// The header, checked: BI_RGB, or BI_BITFIELDS at 32 bits with the usual masks; 1, 4, 8, 24
// or 32 bits; at most 8192 pixels a side, at most 256 palette entries.
bool ReadLayout(ByteReader& r, bool isIcon, DibLayout& layout)
{
    DibHeader h;
    uint32_t w = 0, hh = 0, xp = 0, yp = 0;
    if (!r.Dword(h.size) || h.size < 40 || !r.Dword(w) || !r.Dword(hh) || !r.Word(h.planes) ||
        !r.Word(h.bitCount) || !r.Dword(h.compression) || !r.Dword(h.sizeImage) || !r.Dword(xp) ||
        !r.Dword(yp) || !r.Dword(h.clrUsed) || !r.Dword(h.clrImportant) || !r.Skip(h.size - 40))
        return false;
    h.width = static_cast<int32_t>(w);
    h.height = static_cast<int32_t>(hh);
    if (h.compression != 0 && !(h.compression == 3 && h.bitCount == 32))
        return false;
    if (h.compression == 3 && h.size == 40 && !r.Skip(12))   // masks after a plain header
        return false;
    layout.topDown = h.height < 0;
    layout.height = layout.topDown ? -int64_t(h.height) : h.height;
    if (isIcon)
        layout.height /= 2;   // icon images hold the colour bits and the AND mask
    layout.width = h.width;
    layout.bits = h.bitCount;
    if (h.width <= 0 || layout.height <= 0 || h.width > 8192 || layout.height > 8192)
        return false;
    if (layout.bits != 1 && layout.bits != 4 && layout.bits != 8 && layout.bits != 24 && layout.bits != 32)
        return false;
    layout.colours = layout.bits > 8 ? 0 : h.clrUsed ? h.clrUsed : (1u << layout.bits);
    return layout.colours <= 256;
}

bool ReadPalette(ByteReader& r, uint32_t colours, std::vector<QRgb>& palette)
{
    for (uint32_t i = 0; i < colours; ++i) {
        uint32_t quad;
        if (!r.Dword(quad))
            return false;
        palette.push_back(qRgb((quad >> 16) & 0xFF, (quad >> 8) & 0xFF, quad & 0xFF));
    }
    return true;
}

// Pixel x of a row of the colour bits.
QRgb PixelAt(const uint8_t* row, int x, int bits, const std::vector<QRgb>& palette)
{
    switch (bits) {
    case 32: return qRgba(row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]);
    case 24: return qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default: {
        int perByte = 8 / bits;
        int shift = (perByte - 1 - x % perByte) * bits;
        unsigned idx = (row[x / perByte] >> shift) & ((1u << bits) - 1);
        return idx < palette.size() ? palette[idx] : qRgb(0, 0, 0);
    }
    }
}

}  // namespace

QImage ImageFromDib(const uint8_t* data, size_t size, bool isIcon)
{
    ByteReader r(data, size);
    DibLayout dib;
    std::vector<QRgb> palette;
    if (!ReadLayout(r, isIcon, dib) || !ReadPalette(r, dib.colours, palette))
        return {};
    const int width = dib.width;
    const int64_t height = dib.height;
    const size_t stride = RowBytes(width, dib.bits);
    const size_t maskStride = RowBytes(width, 1);
    if (r.Remaining() / stride < static_cast<size_t>(height))
        return {};
    const uint8_t* pixels = r.Here();
    const uint8_t* mask = nullptr;
    if (isIcon && dib.bits != 32 && (r.Remaining() - stride * height) / maskStride >= static_cast<size_t>(height))
        mask = pixels + stride * height;

    QImage image(width, static_cast<int>(height), QImage::Format_ARGB32);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        int srcRow = dib.topDown ? y : static_cast<int>(height) - 1 - y;
        const uint8_t* row = pixels + stride * srcRow;
        const uint8_t* maskRow = mask ? mask + maskStride * srcRow : nullptr;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb c = PixelAt(row, x, dib.bits, palette);
            anyAlpha = anyAlpha || (dib.bits == 32 && qAlpha(c) != 0);
            if (maskRow && ((maskRow[x / 8] >> (7 - x % 8)) & 1))
                c = qRgba(0, 0, 0, 0);
            out[x] = c;
        }
    }
    // A 32-bit bitmap whose alpha is all zero is an opaque bitmap with an unused byte.
    if (dib.bits == 32 && !anyAlpha) {
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] |= 0xFF000000u;
        }
    }
    return image;
}

QIcon IconFromGroup(const ResourceFile& file, const ResEntry& group)
{
    QIcon icon;
    ByteReader r(group.data, group.size);
    uint16_t reserved, type, count;
    if (!r.Word(reserved) || !r.Word(type) || !r.Word(count) || type != 1)
        return icon;
    for (uint16_t i = 0; i < count; ++i) {
        uint32_t bytes;
        uint16_t planes, bitCount, id;
        if (!r.Skip(4) || !r.Word(planes) || !r.Word(bitCount) || !r.Dword(bytes) || !r.Word(id))
            break;
        const ResEntry* image = file.Find(RT_ICON_ID, id, group.language);
        if (!image)
            continue;
        QImage decoded;
        static const uint8_t png[4] = {0x89, 'P', 'N', 'G'};
        if (image->size >= 4 && std::equal(png, png + 4, image->data))
            decoded.loadFromData(image->data, static_cast<int>(image->size), "PNG");
        else
            decoded = ImageFromDib(image->data, image->size, true);
        if (!decoded.isNull())
            icon.addPixmap(QPixmap::fromImage(decoded));
    }
    return icon;
}
