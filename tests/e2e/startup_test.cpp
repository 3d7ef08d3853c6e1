#include <gtest/gtest.h>

#include <stdint.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "input.h"
#include "objects.h"
#include "resource.h"

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }
};

test::Process Start(const test::Sandbox& box, const std::string& arguments)
{
    return test::Process::Start(test::Quoted(box.exe()) + (arguments.empty() ? "" : " " + arguments));
}

// A start while a notifier runs: it must end by itself, successfully.
void RunAddOnlyStart(const test::Sandbox& box, const std::string& arguments)
{
    test::Process start = Start(box, arguments);
    ASSERT_TRUE(start.Wait(30000)) << "still running: " << arguments;
    EXPECT_EQ(start.ExitCode(), 0u) << arguments;
}

struct IncrementCase {
    std::string arguments;
    int32_t before;
    int32_t after;
};

void ExpectIncrements(const test::Sandbox& box, const std::vector<IncrementCase>& cases)
{
    for (const IncrementCase& c : cases) {
        ASSERT_TRUE(WriteMailCount(c.before));
        RunAddOnlyStart(box, c.arguments);
        EXPECT_EQ(ReadMailCount(), c.after) << "arguments: " << c.arguments.substr(0, 40);
    }
}

// The pixel size of `dialogUnits` under the notifier template's font. The
// conversion is only available for the caller's own dialogs, so it is taken
// from a twin built here from the same template of the same executable.
SIZE TemplateSizeInPixels(const std::string& exe, SIZE dialogUnits)
{
    const fw::UniqueModule image(::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HWND twin = ::CreateDialogParamA(
        image.get(), MAKEINTRESOURCEA(IDD_NOTIFIER), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    RECT box = { 0, 0, dialogUnits.cx, dialogUnits.cy };
    const BOOL mapped = twin && ::MapDialogRect(twin, &box);
    if (twin)
        ::DestroyWindow(twin);
    return mapped ? SIZE { box.right, box.bottom } : SIZE { -1, -1 };
}

// Takes the counter lock over and over while a start runs and looks for the
// section each time it holds it. A start that creates the section and exits
// soon after hands the lock straight to the waiting watcher, which opens the
// section while the start still holds it. True when it was caught.
bool CatchSectionCreatedBy(const test::Sandbox& box, const std::string& arguments, int32_t* value)
{
    const fw::UniqueHandle lock(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME));
    std::atomic<bool> stop { false };
    bool caught = false;
    std::thread watcher([&] {
        while (!stop && !caught) {
            const DWORD wait = ::WaitForSingleObject(lock.get(), 100);
            if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
                continue;
            const fw::UniqueHandle section(::OpenFileMappingA(FILE_MAP_READ, FALSE, COUNTER_SECTION_NAME));
            const fw::UniqueFileView view(
                section ? ::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, sizeof(int32_t)) : nullptr);
            if (view) {
                *value = *static_cast<const volatile int32_t*>(view.get());
                caught = true;
            }
            ::ReleaseMutex(lock.get());
        }
    });
    test::Process start = Start(box, arguments);
    const bool ended = start.Wait(30000);
    stop = true;
    watcher.join();
    return ended && caught;
}

} // namespace

TEST_F(Startup, SecondStartAddsAndExitsWithoutWindow)
{
    test::Sandbox box;
    ASSERT_FALSE(test::CounterSectionExists());
    test::Process notifier = test::Process::Start("\"" + box.exe() + "\" 3");
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);
    EXPECT_EQ(ReadMailCount(), 3);

    test::Process second = test::Process::Start("\"" + box.exe() + "\" 2");
    ASSERT_TRUE(second.Wait(15000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_EQ(test::FindDialogOf(second.id()), nullptr);
    EXPECT_EQ(ReadMailCount(), 5);
    EXPECT_TRUE(notifier.Running());
}

TEST_F(Startup, NoArgumentShowsTheTemplatePopupWithoutTouchingTheCount)
{
    test::Sandbox box;
    ASSERT_TRUE(WriteMailCount(7));
    test::CounterLockHolder holder;
    ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();

    // This reader starts waiting for the lock before the notifier starts. A
    // start-up that read or wrote the count would wait at least as long, so
    // its popup could not appear while this reader still waits.
    std::promise<void> waiting;
    auto reader = std::async(std::launch::async, [&] {
        waiting.set_value();
        return ReadMailCount();
    });
    waiting.get_future().wait();
    test::Process notifier = Start(box, "");
    HWND popup = test::WaitForDialogOf(notifier.id(), 60000);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(reader.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the popup appeared only after a full wait for the counter lock";

    // The template's style; the system adds only sibling clipping and the
    // 3-D look, never a caption, border or system menu.
    const DWORD style = ::GetWindowLongA(popup, GWL_STYLE);
    EXPECT_EQ(style & 0x90000040u, 0x90000040u) << std::hex << style;
    EXPECT_EQ(style & ~(0x90000040u | WS_CLIPSIBLINGS | DS_3DLOOK), 0u) << std::hex << style;
    const DWORD exStyle = ::GetWindowLongA(popup, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & WS_EX_LAYERED, static_cast<DWORD>(WS_EX_LAYERED)) << std::hex << exStyle;
    EXPECT_EQ(exStyle & ~(WS_EX_LAYERED | WS_EX_CONTROLPARENT | WS_EX_TOPMOST), 0u) << std::hex << exStyle;

    RECT placed = {};
    ASSERT_TRUE(::GetWindowRect(popup, &placed));
    const SIZE expected = TemplateSizeInPixels(box.exe(), SIZE { 91, 98 });
    EXPECT_EQ(placed.right - placed.left, expected.cx);
    EXPECT_EQ(placed.bottom - placed.top, expected.cy);

    EXPECT_TRUE(holder.Release());
    reader.wait();
    EXPECT_EQ(ReadMailCount(), 7);
    EXPECT_TRUE(notifier.Running());
}

TEST_F(Startup, IncrementIsReadLikeAtoi)
{
    test::Sandbox box;
    test::Process notifier = Start(box, "");
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);

    const std::string fullwidthThree = "３";
    ExpectIncrements(box,
        {
            { "12abc", 100, 112 },
            { "abc", 100, 100 },
            { "5 7", 100, 105 },
            { "-8", 3, -5 },
            { "\"  +42\"", 0, 42 },
            { "\"\"", 100, 100 },
            { "\"   \"", 100, 100 },
            { "新着メール", 100, 100 },
            { "12通", 100, 112 },
            { fullwidthThree, 100, 100 },
            { std::string(4999, '0') + "7", 100, 107 },
            { std::string(5000, 'x'), 100, 100 },
        });
    EXPECT_TRUE(notifier.Running());
}

TEST_F(Startup, IncrementOutsideInt32IsClampedThenTheSumWraps)
{
    test::Sandbox box;
    test::Process notifier = Start(box, "");
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);

    ExpectIncrements(box,
        {
            { "2147483647", 1, INT32_MIN },
            { "-2147483648", -1, INT32_MAX },
            { "99999999999", 10, INT32_MIN + 9 },
            { "-99999999999", -10, INT32_MAX - 9 },
            // 2^32 + 1 and 2^64 + 1 would be 1 if cut to 32 or 64 bits.
            { "4294967297", 0, INT32_MAX },
            { "18446744073709551617", 0, INT32_MAX },
            { "-18446744073709551617", 0, INT32_MIN },
            { std::string(5000, '9'), 0, INT32_MAX },
            { "-" + std::string(5000, '9'), 0, INT32_MIN },
        });
    EXPECT_TRUE(notifier.Running());
}

TEST_F(Startup, NonNumericArgumentWritesTheCountBack)
{
    test::Sandbox box;
    ASSERT_FALSE(test::CounterSectionExists());
    // With a notifier marked as running, the start only reads, writes back
    // and exits; it is the only process that could create the section.
    test::InstanceMarker marker;
    ASSERT_TRUE(marker.valid());

    bool caught = false;
    int32_t value = -1;
    for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
        caught = CatchSectionCreatedBy(box, "abc", &value);
    }
    EXPECT_TRUE(caught) << "no start was seen holding a section it created";
    EXPECT_EQ(value, 0);
    // It kept no handle beyond its own life.
    EXPECT_FALSE(test::CounterSectionExists());
}

TEST_F(Startup, EnterAndEscapeEndTheNotifier)
{
    test::Sandbox box;
    ASSERT_TRUE(WriteMailCount(5));
    for (const char* key : { "Return", "Escape" }) {
        test::Process notifier = Start(box, "");
        HWND popup = test::WaitForDialogOf(notifier.id());
        ASSERT_NE(popup, nullptr) << key;
        // Keys go to the window under the pointer: the count badge, solid in
        // every frame of the bundled skin.
        RECT placed = {};
        ASSERT_TRUE(::GetWindowRect(popup, &placed));
        const POINT badge = { placed.left + 95, placed.top + 93 };
        ASSERT_TRUE(test::PointerTo(badge));
        EXPECT_TRUE(test::WaitFor([&] {
            POINT cursor = {};
            return ::GetCursorPos(&cursor) && cursor.x == badge.x && cursor.y == badge.y;
        }));
        ::SetForegroundWindow(popup);
        ASSERT_TRUE(test::PressKey(key));
        ASSERT_TRUE(notifier.Wait(30000)) << key << " did not end the notifier";
        EXPECT_EQ(notifier.ExitCode(), 0u) << key;
        EXPECT_FALSE(test::InstanceMutexExists()) << key;
        // The teardown ran on the way out.
        EXPECT_EQ(ReadMailCount(), 0) << key;
        ASSERT_TRUE(WriteMailCount(5));
    }
    test::Process next = Start(box, "");
    EXPECT_NE(test::WaitForDialogOf(next.id()), nullptr) << "the next start did not become the notifier";
}
