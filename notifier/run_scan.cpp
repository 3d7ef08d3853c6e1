#include "notifier/run_scan.h"

#include "notifier/frame_geometry.h"

void ScanFrameRuns(
    const uint8_t* bits, int stride, int height, int frame, int frameWidth, uint32_t key, std::vector<PixelRun>* runs)
{
    const int x0 = frame * frameWidth;
    for (int y = 0; y < height; ++y) {
        int s = 0;
        while (s < frameWidth) {
            if (PixelAt(x0 + s, y, bits, stride, height) == key) {
                ++s;
                continue;
            }
            int n = 1;
            while (s + n < frameWidth && PixelAt(x0 + s + n, y, bits, stride, height) != key)
                ++n;
            runs->push_back(PixelRun { s, y, s + n });
            s += n;
        }
    }
}
