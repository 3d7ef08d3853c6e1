#include "popup.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include "scoped_gdi.h"

namespace test {

namespace {

    // A top-down 24-bit DIB section of `width` x `height`; rows are padded to
    // 4 bytes.
    struct Dib24 {
        fw::UniqueMemoryDC dc;
        fw::UniqueBitmap bitmap;
        BYTE* bits = nullptr;
        int rowBytes = 0;
        HGDIOBJ previous = nullptr;

        Dib24(int width, int height)
            : dc(::CreateCompatibleDC(nullptr))
            , rowBytes((width * 3 + 3) & ~3)
        {
            BITMAPINFO info = {};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = -height;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 24;
            info.bmiHeader.biCompression = BI_RGB;
            void* pixels = nullptr;
            bitmap.reset(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
            bits = static_cast<BYTE*>(pixels);
            previous = ::SelectObject(dc.get(), bitmap.get());
        }
        Dib24(const Dib24&) = delete;
        Dib24& operator=(const Dib24&) = delete;
        ~Dib24() { ::SelectObject(dc.get(), previous); }

        BYTE* at(int x, int y) const { return bits + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) * 3; }

        Picture ToPicture(int width, int height) const
        {
            ::GdiFlush();
            Picture picture(width, height, 0);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    picture.set(x, y, RGB(at(x, y)[2], at(x, y)[1], at(x, y)[0]));
            return picture;
        }

        void FromPicture(const Picture& picture)
        {
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    const COLORREF c = picture.at(x, y);
                    at(x, y)[0] = GetBValue(c);
                    at(x, y)[1] = GetGValue(c);
                    at(x, y)[2] = GetRValue(c);
                }
            }
        }
    };

    BOOL CALLBACK MatchMessageBox(HWND hwnd, LPARAM param)
    {
        auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        char className[64] = {};
        ::GetClassNameA(hwnd, className, sizeof className);
        if (pid == search->first && strcmp(className, "#32770") == 0 && ::IsWindowVisible(hwnd)
            && !StaticTexts(hwnd).empty()) {
            search->second = hwnd;
            return FALSE;
        }
        return TRUE;
    }

} // namespace

Notifier::Notifier(const std::string& exeName)
    : m_box(exeName, false)
{
}

void Notifier::SetSkin(const Picture& strip, BmpFormat format)
{
    const std::string bytes = EncodeBmp(strip, format);
    if (bytes.empty())
        ADD_FAILURE() << "the picture does not fit " << FormatName(format);
    const std::string path = m_box.sibling("bmp");
    m_box.WriteFile(path.substr(path.find_last_of('\\') + 1), bytes);
}

void Notifier::SetSettings(const std::string& lines)
{
    const std::string path = m_box.sibling("ini");
    m_box.WriteFile(path.substr(path.find_last_of('\\') + 1), "[setting]\r\n" + lines);
}

void Notifier::Launch(const std::string& arguments)
{
    m_process = Process::Start("\"" + m_box.exe() + "\"" + (arguments.empty() ? "" : " " + arguments));
}

HWND Notifier::Start(const std::string& arguments)
{
    Launch(arguments);
    const DWORD pid = m_process.id();
    m_popup = nullptr;
    WaitFor(
        [&] {
            const HWND dialog = FindDialogOf(pid);
            if (dialog && (::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYERED))
                m_popup = dialog;
            return m_popup != nullptr;
        },
        20000);
    return m_popup;
}

Picture LoadStrip(const std::string& path)
{
    const fw::UniqueBitmap loaded(static_cast<HBITMAP>(
        ::LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    BITMAP description = {};
    if (!loaded || ::GetObjectA(loaded.get(), sizeof description, &description) == 0)
        return Picture(0, 0, 0);
    const Dib24 copy(description.bmWidth, description.bmHeight);
    {
        const fw::UniqueMemoryDC source(::CreateCompatibleDC(nullptr));
        const fw::ObjectSelection selection(source.get(), loaded.get());
        ::BitBlt(copy.dc.get(), 0, 0, description.bmWidth, description.bmHeight, source.get(), 0, 0, SRCCOPY);
    }
    return copy.ToPicture(description.bmWidth, description.bmHeight);
}

std::vector<fw::UniqueRgn> ExpectedFrameRegions(const Picture& strip, int frameWidth, int frameCount)
{
    std::vector<fw::UniqueRgn> frames;
    const COLORREF key = strip.at(0, 0);
    for (int frame = 0; frame < frameCount; ++frame) {
        fw::UniqueRgn region(::CreateRectRgn(0, 0, 0, 0));
        const int x0 = frame * frameWidth;
        for (int y = 0; y < strip.height(); ++y) {
            int s = 0;
            while (s < frameWidth) {
                if (strip.at(x0 + s, y) == key) {
                    ++s;
                    continue;
                }
                int end = s + 1;
                while (end < frameWidth && strip.at(x0 + end, y) != key)
                    ++end;
                const fw::UniqueRgn run(::CreateRectRgn(s, y, end, y + 1));
                ::CombineRgn(region.get(), region.get(), run.get(), RGN_OR);
                s = end;
            }
        }
        frames.push_back(std::move(region));
    }
    return frames;
}

fw::UniqueRgn WindowRegion(HWND window)
{
    fw::UniqueRgn region(::CreateRectRgn(0, 0, 0, 0));
    if (::GetWindowRgn(window, region.get()) == ERROR)
        region.reset();
    return region;
}

std::string DescribeRegion(HRGN region)
{
    if (!region)
        return "no region";
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    std::vector<BYTE> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (size == 0 || ::GetRegionData(region, size, data) == 0)
        return "unreadable region";
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    std::string text = std::to_string(data->rdh.nCount) + " rects:";
    for (DWORD i = 0; i < data->rdh.nCount && i < 12; ++i) {
        char rect[64];
        snprintf(
            rect, sizeof rect, " (%ld,%ld)-(%ld,%ld)", rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
        text += rect;
    }
    return data->rdh.nCount > 12 ? text + " ..." : text;
}

int MatchingFrame(HRGN shape, const std::vector<fw::UniqueRgn>& frames)
{
    if (!shape)
        return -1;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (::EqualRgn(shape, frames[i].get()))
            return static_cast<int>(i);
    }
    return -1;
}

int ShownFrame(HWND window, const std::vector<fw::UniqueRgn>& frames)
{
    return MatchingFrame(WindowRegion(window).get(), frames);
}

std::vector<int> WatchFrames(HWND window, const std::vector<fw::UniqueRgn>& frames, DWORD ms,
    const std::function<bool(const std::vector<int>&)>& enough)
{
    std::vector<int> seen;
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::IsWindow(window)) {
        const int frame = ShownFrame(window, frames);
        if (seen.empty() || seen.back() != frame)
            seen.push_back(frame);
        if ((enough && enough(seen)) || ::GetTickCount64() >= end)
            break;
        ::Sleep(2);
    }
    return seen;
}

int TicksIn(const std::vector<int>& frames, int frameCount)
{
    int ticks = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i - 1] >= 0 && frames[i] >= 0)
            ticks += (frames[i] - frames[i - 1] + frameCount) % frameCount;
    }
    return ticks;
}

Picture ScreenPixels(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const Dib24 copy(width, height);
    {
        const fw::WindowDC screen(nullptr);
        ::BitBlt(copy.dc.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }
    return copy.ToPicture(width, height);
}

Picture RenderCount(
    const Picture& frame, const RECT& box, const char* text, int fontSize, const char* face, COLORREF colour)
{
    Dib24 canvas(frame.width(), frame.height());
    canvas.FromPicture(frame);

    // The description the notifier builds: the system font's, made bold at
    // the configured height and face.
    LOGFONTA description = {};
    ::GetObjectA(::GetStockObject(SYSTEM_FONT), sizeof description, &description);
    description.lfHeight = fontSize;
    description.lfWidth = 0;
    description.lfEscapement = 0;
    description.lfOrientation = 0;
    description.lfWeight = FW_BOLD;
    description.lfItalic = 0;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfOutPrecision = OUT_DEFAULT_PRECIS;
    description.lfQuality = PROOF_QUALITY;
    lstrcpynA(description.lfFaceName, face, sizeof description.lfFaceName);

    const fw::UniqueFont font(::CreateFontIndirectA(&description));
    {
        const fw::ObjectSelection selection(canvas.dc.get(), font.get());
        ::SetBkMode(canvas.dc.get(), TRANSPARENT);
        ::SetTextColor(canvas.dc.get(), colour);
        RECT textBox = box;
        ::DrawTextA(canvas.dc.get(), text, -1, &textBox, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    return canvas.ToPicture(frame.width(), frame.height());
}

int DifferingPixels(const Picture& a, const Picture& b, const RECT& box)
{
    int differing = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            differing += a.at(x, y) != b.at(x, y) ? 1 : 0;
    return differing;
}

HWND FindMessageBoxOf(DWORD pid, std::string* text)
{
    std::pair<DWORD, HWND> search(pid, nullptr);
    ::EnumWindows(&MatchMessageBox, reinterpret_cast<LPARAM>(&search));
    if (search.second && text)
        *text = StaticTexts(search.second);
    return search.second;
}

void PressOnlyButton(HWND box)
{
    const HWND button = ::FindWindowExA(box, nullptr, "Button", nullptr);
    ::SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
}

} // namespace test
