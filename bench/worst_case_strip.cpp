#include "bench/worst_case_strip.h"

#include <windows.h>

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <random>
#include <vector>

namespace bench {

namespace {

    constexpr int kWidth = kWorstFrames * kWorstFrameSize;
    constexpr int kHeight = kWorstFrameSize;
    constexpr int kRowBytes = kWidth * 3; // already a multiple of 4

    void Put(std::vector<BYTE>* image, int x, int y, COLORREF colour)
    {
        BYTE* p = &(*image)[static_cast<size_t>(kHeight - 1 - y) * kRowBytes + static_cast<size_t>(x) * 3];
        p[0] = GetBValue(colour);
        p[1] = GetGValue(colour);
        p[2] = GetRValue(colour);
    }

    void DrawFrame(std::vector<BYTE>* image, int frame, std::mt19937* random)
    {
        const int x0 = frame * kWorstFrameSize;
        const double centre = kWorstFrameSize / 2.0;
        std::uniform_int_distribution<int> jitter(-25, 25);
        std::bernoulli_distribution hole(0.5);
        for (int y = 1; y < kHeight; ++y) {
            const double dy = (y - centre) / centre;
            const double radius = centre * sqrt(std::max(0.0, 1.0 - dy * dy * 0.8));
            const int left = std::clamp(static_cast<int>(centre - radius) + jitter(*random), 0, kWorstFrameSize);
            const int right = std::clamp(static_cast<int>(centre + radius) + jitter(*random), left, kWorstFrameSize);
            for (int x = left; x < right; ++x)
                if (!hole(*random))
                    Put(image, x0 + x, y, RGB(40 + (*random)() % 200, 30 + x % 200, 20 + y % 200));
        }
    }

} // namespace

bool WriteWorstCaseStrip(const std::string& path)
{
    const COLORREF key = RGB(255, 0, 255);
    std::vector<BYTE> image(static_cast<size_t>(kRowBytes) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            Put(&image, x, y, key);
    std::mt19937 random(20240601);
    for (int frame = 0; frame < kWorstFrames; ++frame)
        DrawFrame(&image, frame, &random);

    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = kWidth;
    info.biHeight = kHeight;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(image.size());
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;

    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1
        && fwrite(image.data(), 1, image.size(), out) == image.size();
    return fclose(out) == 0 && written;
}

} // namespace bench
