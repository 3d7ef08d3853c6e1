// One animation tick, made of the notifier's own calls in a small layered
// window of this program: the count read under the counter mutex through the
// view kept for the run, a copy of the frame region handed to SetWindowRgn,
// the frame's BitBlt from the painting copy, and the count drawn with the
// font made once for the run.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "bench/skin_pipeline.h"
#include "bench/stats.h"
#include "counter/counter.h"
#include "notifier/count_font.h"
#include "win32/module_path.h"
#include "win32/scoped_gdi.h"

namespace {

constexpr int kWarmUpTicks = 20;
constexpr int kTicks = 600;
const char kFontFace[] = "ＭＳ ゴシック";
const RECT kTextRect = { 85, 86, 106, 100 };
const COLORREF kTextColour = RGB(208, 199, 187);

struct TickTimes {
    double count;
    double shape;
    double frame;
    double text;
    double total;
};

std::string BinDir()
{
    std::string dir = win32::ModulePath();
    dir.resize(dir.find_last_of('\\'));
    dir.resize(dir.find_last_of('\\'));
    return dir;
}

void PumpMessages()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

HWND CreatePopup(const bench::Skin& skin)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "larkbell_tick_bench";
    windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, "tick",
        WS_POPUP, 0, 0, skin.frameWidth, skin.height, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window) {
        ::SetLayeredWindowAttributes(window, 0, 200, LWA_ALPHA);
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
        ::UpdateWindow(window);
    }
    return window;
}

TickTimes Tick(HWND window, const bench::Skin& skin, int frame, MailCountReader* reader, HFONT font)
{
    TickTimes times;
    const double start = bench::NowMs();
    const int count = reader->Read();
    const double counted = bench::NowMs();

    HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
    ::CombineRgn(copy, skin.frameRgn[frame].get(), nullptr, RGN_COPY);
    if (!::SetWindowRgn(window, copy, FALSE))
        ::DeleteObject(copy);
    const double shaped = bench::NowMs();

    double blitted = 0;
    {
        const win32::WindowDC dc(window);
        ::BitBlt(dc.get(), 0, 0, skin.frameWidth, skin.height, skin.memDC.get(), frame * skin.frameWidth, 0, SRCCOPY);
        blitted = bench::NowMs();

        char text[16];
        snprintf(text, sizeof text, "%d", count);
        const win32::ObjectSelection selection(dc.get(), font);
        ::SetBkMode(dc.get(), TRANSPARENT);
        ::SetTextColor(dc.get(), kTextColour);
        RECT box = kTextRect;
        ::DrawTextA(dc.get(), text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    const double end = bench::NowMs();
    times.count = counted - start;
    times.shape = shaped - counted;
    times.frame = blitted - shaped;
    times.text = end - blitted;
    times.total = end - start;
    return times;
}

} // namespace

int main()
{
    // The count lives while this process holds the section, as it does while
    // a notifier runs.
    WriteMailCount(7);
    bench::Skin skin;
    bench::SkinBuildTimes buildTimes;
    const std::string path = BinDir() + "\\larkbell.bmp";
    if (!bench::BuildSkin(path, 120, bench::RegionMethod::Product, -1, &skin, &buildTimes)) {
        fprintf(stderr, "cannot build %s\n", path.c_str());
        return 1;
    }
    const HWND window = CreatePopup(skin);
    if (!window) {
        fprintf(stderr, "cannot create the window\n");
        return 1;
    }
    PumpMessages();

    MailCountReader reader;
    const win32::UniqueFont font(CreateCountFont(12, kFontFace));
    std::vector<double> total, count, shape, frame, text;
    for (int tick = 0; tick < kWarmUpTicks + kTicks; ++tick) {
        PumpMessages();
        ::Sleep(1);
        const TickTimes times = Tick(window, skin, (tick + 1) % skin.frameCount, &reader, font.get());
        if (tick < kWarmUpTicks)
            continue;
        total.push_back(times.total);
        count.push_back(times.count);
        shape.push_back(times.shape);
        frame.push_back(times.frame);
        text.push_back(times.text);
    }
    ::DestroyWindow(window);

    printf("== Animation tick (bundled skin, %d frames of %d x %d, %d ticks after %d warm-up)\n", skin.frameCount,
        skin.frameWidth, skin.height, kTicks, kWarmUpTicks);
    printf("  count read %s | region copy + SetWindowRgn %s | frame BitBlt %s | DrawTextA %s (medians)\n",
        bench::FormatMs(bench::Summarise(count).median).c_str(),
        bench::FormatMs(bench::Summarise(shape).median).c_str(),
        bench::FormatMs(bench::Summarise(frame).median).c_str(),
        bench::FormatMs(bench::Summarise(text).median).c_str());
    bench::Report("animation tick", bench::Describe(bench::Summarise(total)));
    return 0;
}
