// Pictures in memory and the BMP files that hold them, in every pixel format
// the system's bitmap loader reads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

// Pixels as COLORREF values, top row first.
class Picture {
public:
    Picture(int width, int height, COLORREF fill);

    int width() const { return m_width; }
    int height() const { return m_height; }
    COLORREF at(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    void set(int x, int y, COLORREF colour) { m_pixels[static_cast<size_t>(y) * m_width + x] = colour; }
    // Columns [left, right) of rows [top, bottom), cut to the picture.
    void Fill(int left, int top, int right, int bottom, COLORREF colour);

private:
    int m_width;
    int m_height;
    std::vector<COLORREF> m_pixels;
};

enum class BmpFormat { Bits1, Bits4, Bits8, Bits16, Bits24, Bits32, Rle4, Rle8 };

const char* FormatName(BmpFormat format);

// The bytes of a bottom-up BMP file of `picture`. The palette formats list
// the picture's distinct colours (at most 2, 16 or 256); 16 bits per pixel
// is 5-5-5 and keeps the top five bits of each channel. Empty when the
// picture does not fit the format's palette.
std::string EncodeBmp(const Picture& picture, BmpFormat format);

} // namespace test
