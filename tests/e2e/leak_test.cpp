// The animation tick creates a region, a font and a device context on every
// step and must give each back. GetGuiResources is a stub under Wine, so the
// GDI objects of the running notifier are counted from its GDI handle table:
// Wine keeps it in the process, with its address in the PEB as on Windows,
// and an entry's type byte is 0 while the entry is free. The table is read
// from outside with ReadProcessMemory. A helper that leaks regions on cue
// shows first that this count does see a leak.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "harness.h"
#include "popup.h"

namespace {

// One entry of the GDI handle table (64-bit layout).
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userData;
};
static_assert(sizeof(GdiHandleEntry) == 24, "GDI handle entries are 24 bytes");

constexpr size_t kGdiHandleCount = 0x10000;
// PEB::GdiSharedHandleTable in a 64-bit process.
constexpr size_t kPebGdiTableOffset = 0xF8;

struct ProcessBasicInformation {
    LONG_PTR exitStatus;
    void* pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG_PTR basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR inheritedFromUniqueProcessId;
};

// Live GDI objects of `process` by type; empty when the table cannot be read.
std::map<int, int> LiveGdiObjects(HANDLE process)
{
    using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll"), "NtQueryInformationProcess")));
    ProcessBasicInformation basic = {};
    if (!query || query(process, 0, &basic, sizeof basic, nullptr) != 0)
        return {};
    void* table = nullptr;
    SIZE_T read = 0;
    if (!::ReadProcessMemory(
            process, static_cast<BYTE*>(basic.pebBaseAddress) + kPebGdiTableOffset, &table, sizeof table, &read)
        || !table)
        return {};
    std::vector<GdiHandleEntry> entries(kGdiHandleCount);
    if (!::ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), &read))
        return {};
    std::map<int, int> live;
    for (const GdiHandleEntry& entry : entries) {
        if (entry.type != 0)
            ++live[entry.type];
    }
    return live;
}

int Total(const std::map<int, int>& live)
{
    int total = 0;
    for (const auto& type : live)
        total += type.second;
    return total;
}

std::string Describe(const std::map<int, int>& live)
{
    std::string text = std::to_string(Total(live)) + " (by type:";
    for (const auto& type : live)
        text += " " + std::to_string(type.first) + "=" + std::to_string(type.second);
    return text + ")";
}

// The quietest of several readings: a reading taken while the process is
// between two steps of its work, not in the middle of one.
std::map<int, int> QuietGdiObjects(HANDLE process)
{
    std::map<int, int> quietest;
    for (int i = 0; i < 10; ++i) {
        const std::map<int, int> live = LiveGdiObjects(process);
        if (quietest.empty() || (!live.empty() && Total(live) < Total(quietest)))
            quietest = live;
        ::Sleep(15);
    }
    return quietest;
}

class Leak : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }
};

} // namespace

TEST_F(Leak, CountingTheHandleTableSeesALeak)
{
    const std::string cueName = "lbt-gdi-leak-" + std::to_string(::GetCurrentProcessId());
    const fw::UniqueHandle cue(::CreateEventA(nullptr, TRUE, FALSE, cueName.c_str()));
    test::Process leaker
        = test::Process::Start("\"" + test::ProgramDir() + "\\tests\\gdi_probe_leaker.exe\" " + cueName + " 25", true);
    ASSERT_TRUE(test::WaitFor([&] { return leaker.Output().find("waiting") != std::string::npos; }));
    const std::map<int, int> before = QuietGdiObjects(leaker.handle());
    ASSERT_FALSE(before.empty());

    ::SetEvent(cue.get());
    ASSERT_TRUE(test::WaitFor([&] { return leaker.Output().find("leaked") != std::string::npos; }));
    const std::map<int, int> after = QuietGdiObjects(leaker.handle());
    EXPECT_EQ(Total(after) - Total(before), 25) << Describe(before) << " -> " << Describe(after);
    // Type 4 is a region.
    EXPECT_EQ(after.at(4) - (before.count(4) ? before.at(4) : 0), 25);
}

TEST_F(Leak, AnimationTicksLeaveNoGdiObjectBehind)
{
    test::Picture strip(60 * 30, 50, test::kKey);
    for (int i = 0; i < 30; ++i)
        strip.Fill(60 * i + 2, 3, 60 * i + 14 + i, 12 + i, RGB(0, 64, 128));
    const std::vector<fw::UniqueRgn> frames = test::ExpectedFrameRegions(strip, 60, 30);
    test::Notifier notifier;
    notifier.SetSkin(strip);
    notifier.SetSettings("bmpwidth=60\r\ninterval=1\r\nposx=100\r\nposy=100\r\n");
    const HWND popup = notifier.Start("5");
    ASSERT_NE(popup, nullptr);

    // Past the first ticks, which may make what is kept for good (fonts,
    // cached device contexts).
    const auto ticksAtLeast
        = [](int ticks) { return [ticks](const std::vector<int>& seen) { return test::TicksIn(seen, 30) >= ticks; }; };
    const std::vector<int> warmUp = test::WatchFrames(popup, frames, 10000, ticksAtLeast(60));
    ASSERT_GE(test::TicksIn(warmUp, 30), 60);
    const std::map<int, int> before = QuietGdiObjects(notifier.process().handle());
    ASSERT_FALSE(before.empty());

    const ULONGLONG start = ::GetTickCount64();
    const std::vector<int> run = test::WatchFrames(popup, frames, 25000, ticksAtLeast(1500));
    const int ticks = test::TicksIn(run, 30);
    const std::map<int, int> after = QuietGdiObjects(notifier.process().handle());
    printf("%d ticks in %llu ms; GDI objects %s -> %s\n", ticks, ::GetTickCount64() - start, Describe(before).c_str(),
        Describe(after).c_str());
    ASSERT_GE(ticks, 1500);
    EXPECT_EQ(std::count(run.begin(), run.end(), -1), 0);
    EXPECT_LE(Total(after), Total(before)) << Describe(before) << " -> " << Describe(after);
}
