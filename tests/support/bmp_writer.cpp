#include "bmp_writer.h"

#include <algorithm>

namespace test {

namespace {

    struct FormatInfo {
        WORD bits;
        DWORD compression;
        size_t paletteLimit; // 0: no palette
    };

    FormatInfo InfoOf(BmpFormat format)
    {
        switch (format) {
        case BmpFormat::Bits1:
            return { 1, BI_RGB, 2 };
        case BmpFormat::Bits4:
            return { 4, BI_RGB, 16 };
        case BmpFormat::Bits8:
            return { 8, BI_RGB, 256 };
        case BmpFormat::Bits16:
            return { 16, BI_RGB, 0 };
        case BmpFormat::Bits24:
            return { 24, BI_RGB, 0 };
        case BmpFormat::Bits32:
            return { 32, BI_RGB, 0 };
        case BmpFormat::Rle4:
            return { 4, BI_RLE4, 16 };
        case BmpFormat::Rle8:
            return { 8, BI_RLE8, 256 };
        }
        return { 24, BI_RGB, 0 };
    }

    void Put16(std::string* out, unsigned value)
    {
        out->push_back(static_cast<char>(value & 0xFF));
        out->push_back(static_cast<char>((value >> 8) & 0xFF));
    }

    void Put32(std::string* out, unsigned long value)
    {
        Put16(out, static_cast<unsigned>(value & 0xFFFF));
        Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
    }

    void PutByte(std::string* out, unsigned value) { out->push_back(static_cast<char>(value & 0xFF)); }

    // Distinct colours in order of first appearance, so the key (top-left)
    // is entry 0.
    bool CollectPalette(const Picture& picture, size_t limit, std::vector<COLORREF>* palette)
    {
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const COLORREF colour = picture.at(x, y);
                if (std::find(palette->begin(), palette->end(), colour) != palette->end())
                    continue;
                if (palette->size() == limit)
                    return false;
                palette->push_back(colour);
            }
        }
        return true;
    }

    std::vector<BYTE> RowIndices(const Picture& picture, int y, const std::vector<COLORREF>& palette)
    {
        std::vector<BYTE> row(static_cast<size_t>(picture.width()));
        for (int x = 0; x < picture.width(); ++x)
            row[x] = static_cast<BYTE>(std::find(palette.begin(), palette.end(), picture.at(x, y)) - palette.begin());
        return row;
    }

    // One uncompressed row, padded to a multiple of 4 bytes.
    std::string PlainRow(const Picture& picture, int y, WORD bits, const std::vector<COLORREF>& palette)
    {
        std::string row;
        if (bits <= 8) {
            const std::vector<BYTE> indices = RowIndices(picture, y, palette);
            unsigned accumulator = 0;
            int filled = 0;
            for (BYTE index : indices) {
                accumulator = (accumulator << bits) | index;
                filled += bits;
                if (filled == 8) {
                    PutByte(&row, accumulator);
                    accumulator = 0;
                    filled = 0;
                }
            }
            if (filled > 0)
                PutByte(&row, accumulator << (8 - filled));
        } else {
            for (int x = 0; x < picture.width(); ++x) {
                const COLORREF c = picture.at(x, y);
                if (bits == 16) {
                    Put16(&row, (GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 | (GetBValue(c) >> 3));
                } else {
                    PutByte(&row, GetBValue(c));
                    PutByte(&row, GetGValue(c));
                    PutByte(&row, GetRValue(c));
                    if (bits == 32)
                        PutByte(&row, 0);
                }
            }
        }
        while (row.size() % 4 != 0)
            row.push_back('\0');
        return row;
    }

    // Literal pixels in absolute mode: 0, count, the packed indices, padded
    // to a 16-bit boundary.
    void PutAbsolute(std::string* out, const BYTE* indices, size_t count, WORD bits)
    {
        PutByte(out, 0);
        PutByte(out, static_cast<unsigned>(count));
        std::string packed;
        for (size_t i = 0; i < count; ++i) {
            if (bits == 8)
                PutByte(&packed, indices[i]);
            else if (i % 2 == 0)
                PutByte(&packed, indices[i] << 4);
            else
                packed.back() = static_cast<char>(packed.back() | indices[i]);
        }
        if (packed.size() % 2 != 0)
            packed.push_back('\0');
        out->append(packed);
    }

    // A row in RLE4 or RLE8: runs of one index in encoded mode, stretches of
    // three or more single pixels in absolute mode, then end of line.
    std::string RleRow(const std::vector<BYTE>& indices, WORD bits)
    {
        std::string out;
        const size_t n = indices.size();
        size_t i = 0;
        while (i < n) {
            size_t run = 1;
            while (i + run < n && run < 255 && indices[i + run] == indices[i])
                ++run;
            if (run >= 2) {
                PutByte(&out, static_cast<unsigned>(run));
                PutByte(&out, bits == 8 ? indices[i] : (indices[i] << 4 | indices[i]));
                i += run;
                continue;
            }
            size_t literal = 1;
            while (i + literal < n && literal < 255
                && (i + literal + 1 >= n || indices[i + literal] != indices[i + literal + 1]))
                ++literal;
            if (literal >= 3) {
                PutAbsolute(&out, &indices[i], literal, bits);
                i += literal;
            } else {
                PutByte(&out, 1);
                PutByte(&out, bits == 8 ? indices[i] : indices[i] << 4);
                ++i;
            }
        }
        PutByte(&out, 0);
        PutByte(&out, 0);
        return out;
    }

} // namespace

Picture::Picture(int width, int height, COLORREF fill)
    : m_width(width)
    , m_height(height)
    , m_pixels(static_cast<size_t>(width) * height, fill)
{
}

void Picture::Fill(int left, int top, int right, int bottom, COLORREF colour)
{
    for (int y = std::max(top, 0); y < std::min(bottom, m_height); ++y)
        for (int x = std::max(left, 0); x < std::min(right, m_width); ++x)
            set(x, y, colour);
}

const char* FormatName(BmpFormat format)
{
    switch (format) {
    case BmpFormat::Bits1:
        return "1 bit";
    case BmpFormat::Bits4:
        return "4 bits";
    case BmpFormat::Bits8:
        return "8 bits";
    case BmpFormat::Bits16:
        return "16 bits";
    case BmpFormat::Bits24:
        return "24 bits";
    case BmpFormat::Bits32:
        return "32 bits";
    case BmpFormat::Rle4:
        return "RLE4";
    case BmpFormat::Rle8:
        return "RLE8";
    }
    return "?";
}

std::string EncodeBmp(const Picture& picture, BmpFormat format)
{
    const FormatInfo info = InfoOf(format);
    std::vector<COLORREF> palette;
    if (info.paletteLimit > 0 && !CollectPalette(picture, info.paletteLimit, &palette))
        return std::string();

    std::string pixels;
    for (int y = picture.height() - 1; y >= 0; --y) {
        if (info.compression == BI_RGB)
            pixels += PlainRow(picture, y, info.bits, palette);
        else
            pixels += RleRow(RowIndices(picture, y, palette), info.bits);
    }
    if (info.compression != BI_RGB) {
        PutByte(&pixels, 0);
        PutByte(&pixels, 1); // end of bitmap
    }

    const unsigned long headerBytes = 14 + 40 + 4 * static_cast<unsigned long>(palette.size());
    std::string file;
    file += "BM";
    Put32(&file, headerBytes + pixels.size());
    Put32(&file, 0);
    Put32(&file, headerBytes);
    Put32(&file, 40);
    Put32(&file, static_cast<unsigned long>(picture.width()));
    Put32(&file, static_cast<unsigned long>(picture.height()));
    Put16(&file, 1);
    Put16(&file, info.bits);
    Put32(&file, info.compression);
    Put32(&file, pixels.size());
    Put32(&file, 3780);
    Put32(&file, 3780);
    Put32(&file, palette.size());
    Put32(&file, 0);
    for (COLORREF colour : palette) {
        PutByte(&file, GetBValue(colour));
        PutByte(&file, GetGValue(colour));
        PutByte(&file, GetRValue(colour));
        PutByte(&file, 0);
    }
    return file + pixels;
}

} // namespace test
