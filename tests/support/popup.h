// The running popup seen from outside: its skin and settings files, its
// window region against frames worked out here, what it shows on screen, and
// the message boxes of a failed start.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "harness.h"
#include "unique_any.h"

namespace test {

// Magenta, the usual key colour of skins.
constexpr COLORREF kKey = RGB(255, 0, 255);

// A notifier copy in its own folder, given its skin and settings by the test.
class Notifier {
public:
    explicit Notifier(const std::string& exeName = "larkbell.exe");

    Sandbox& box() { return m_box; }
    // Writes the skin strip beside the executable.
    void SetSkin(const Picture& strip, BmpFormat format = BmpFormat::Bits24);
    // Writes section "setting" with `lines` ("key=value", one per line).
    void SetSettings(const std::string& lines);
    // Starts the notifier with `arguments` and goes on.
    void Launch(const std::string& arguments = std::string());
    // Starts the notifier; the popup once it is shown, else null.
    HWND Start(const std::string& arguments = std::string());
    HWND popup() const { return m_popup; }
    Process& process() { return m_process; }

private:
    Sandbox m_box;
    Process m_process;
    HWND m_popup = nullptr;
};

// The strip as the system's loader gives it (LoadImageA from the file), read
// back through a 32-bit DIB copy. An empty picture when it does not load.
Picture LoadStrip(const std::string& path);

// The region of each of the first `frameCount` frames of `strip`: every
// pixel that differs from the top-left one, merged in one 1-pixel-high run
// at a time, in frame coordinates.
std::vector<fw::UniqueRgn> ExpectedFrameRegions(const Picture& strip, int frameWidth, int frameCount);

// A copy of the window's region; null when it has none.
fw::UniqueRgn WindowRegion(HWND window);
// The rectangles of a region, for messages.
std::string DescribeRegion(HRGN region);

// The index of the frame whose region equals `shape`, or -1.
int MatchingFrame(HRGN shape, const std::vector<fw::UniqueRgn>& frames);
// The same for the window's region.
int ShownFrame(HWND window, const std::vector<fw::UniqueRgn>& frames);

// Polls the frame on show until `ms` pass or `enough` holds for the frames
// seen so far. The result lists the frame at the start, then each frame the
// window changed to, in order (-1 for a shape that is no frame).
std::vector<int> WatchFrames(HWND window, const std::vector<fw::UniqueRgn>& frames, DWORD ms,
    const std::function<bool(const std::vector<int>&)>& enough = nullptr);

// Ticks that a sequence of frames from WatchFrames stands for, with
// `frameCount` frames shown in a cycle: changes the poll missed count too.
int TicksIn(const std::vector<int>& frames, int frameCount);

// A screen area as it is on show, read from the screen's device context.
Picture ScreenPixels(const RECT& area);

// The count text as the notifier draws it: `frame` (window coordinates), then
// `text` in the bold font of height `fontSize` and face `face`, in `colour`,
// centred in `box`. Rendered in a memory DC.
Picture RenderCount(
    const Picture& frame, const RECT& box, const char* text, int fontSize, const char* face, COLORREF colour);

// Pixels of `a` and `b` (same size) that differ inside `box`.
int DifferingPixels(const Picture& a, const Picture& b, const RECT& box);

// A message box shown by process `pid`, with its text; null when none.
HWND FindMessageBoxOf(DWORD pid, std::string* text = nullptr);
// Presses its button.
void PressOnlyButton(HWND box);

} // namespace test
