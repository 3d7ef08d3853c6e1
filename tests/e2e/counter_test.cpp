#include <gtest/gtest.h>

#include <stdint.h>

#include <future>
#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "objects.h"

namespace {

class Counter : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }
};

const char kEveryone[] = "S-1-1-0";
const char kAuthenticatedUsers[] = "S-1-5-11";

// What the system makes of the generic rights for each kind of object, when it
// stores them mapped.
constexpr DWORD kMutexAll = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | MUTANT_QUERY_STATE;
constexpr DWORD kSectionReadWriteExecute = STANDARD_RIGHTS_READ | SECTION_QUERY | SECTION_MAP_READ
    | STANDARD_RIGHTS_WRITE | SECTION_MAP_WRITE | STANDARD_RIGHTS_EXECUTE | SECTION_MAP_EXECUTE;

const test::AceEntry kDenyChangingAccess = { ACCESS_DENIED_ACE_TYPE, WRITE_DAC | WRITE_OWNER, kEveryone };

// The mutex's list: Everyone may not change the list or the owner, and may do
// everything else. The allowed mask may come back generic or mapped.
void ExpectMutexEntries(const test::DaclView& dacl)
{
    ASSERT_TRUE(dacl.present);
    ASSERT_EQ(dacl.entries.size(), 2u);
    EXPECT_EQ(dacl.entries[0], kDenyChangingAccess) << test::Describe(dacl.entries[0]);
    const test::AceEntry& allowed = dacl.entries[1];
    EXPECT_EQ(allowed.type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed.sid, kEveryone);
    EXPECT_TRUE(allowed.mask == GENERIC_ALL || allowed.mask == kMutexAll) << test::Describe(allowed);
}

void ExpectSectionEntries(const test::DaclView& dacl, bool mappedAllowed)
{
    ASSERT_TRUE(dacl.present);
    ASSERT_EQ(dacl.entries.size(), 1u);
    const test::AceEntry& allowed = dacl.entries[0];
    EXPECT_EQ(allowed.type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed.sid, kAuthenticatedUsers);
    const DWORD generic = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE;
    EXPECT_TRUE(allowed.mask == generic || (mappedAllowed && allowed.mask == kSectionReadWriteExecute))
        << test::Describe(allowed);
}

test::Process StartNotifier(const test::Sandbox& box, const std::string& arguments = "")
{
    return test::Process::Start(test::Quoted(box.exe()) + (arguments.empty() ? "" : " " + arguments));
}

// The one line a program printed, without its line end; "?" unless it
// printed exactly one line.
std::string OneLine(const std::string& text)
{
    const size_t end = text.find('\n');
    if (end == std::string::npos || end != text.size() - 1)
        return "?";
    return text.substr(0, end > 0 && text[end - 1] == '\r' ? end - 1 : end);
}

} // namespace

TEST_F(Counter, SectionLivesWhileAProcessHoldsIt)
{
    // Reading never creates the section.
    ASSERT_FALSE(test::CounterSectionExists());
    EXPECT_EQ(ReadMailCount(), 0);
    EXPECT_FALSE(test::CounterSectionExists());

    // A short-lived writer creates it and takes it along when it exits.
    EXPECT_EQ(OneLine(test::Ctl("set 7").out), "7");
    EXPECT_FALSE(test::CounterSectionExists());
    EXPECT_EQ(OneLine(test::Ctl("get").out), "0");

    // A running notifier keeps it, so later short-lived writers' counts stay.
    test::Sandbox box;
    test::Process notifier = StartNotifier(box);
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);
    EXPECT_TRUE(test::CounterSectionExists());
    EXPECT_EQ(ReadMailCount(), 0);
    EXPECT_EQ(OneLine(test::Ctl("set 9").out), "9");
    EXPECT_EQ(ReadMailCount(), 9);
    EXPECT_EQ(test::RunToEnd(test::Quoted(box.exe()) + " 4"), 0u);
    EXPECT_EQ(ReadMailCount(), 13);

    notifier.Kill();
    EXPECT_TRUE(test::WaitFor([] { return !test::CounterSectionExists(); }));
    EXPECT_EQ(ReadMailCount(), 0);

    // Writing 0 still creates it; negative values come back unchanged.
    ASSERT_TRUE(WriteMailCount(0));
    EXPECT_TRUE(test::CounterSectionExists());
    EXPECT_EQ(ReadMailCount(), 0);
    ASSERT_TRUE(WriteMailCount(-123456));
    EXPECT_EQ(ReadMailCount(), -123456);
    EXPECT_EQ(OneLine(test::Ctl("get").out), "-123456");
}

TEST_F(Counter, FiftySimultaneousStartsLoseNothing)
{
    test::Sandbox box;
    ASSERT_TRUE(WriteMailCount(1000));
    test::Process notifier = StartNotifier(box);
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);

    std::vector<test::Process> starts;
    for (int i = 0; i < 50; ++i)
        starts.push_back(test::StartOneOfMany(test::Quoted(box.exe()) + " 1"));
    for (const test::Process& start : starts) {
        ASSERT_TRUE(start.Wait(120000));
        EXPECT_EQ(start.ExitCode(), 0u);
    }
    EXPECT_EQ(ReadMailCount(), 1050);
    EXPECT_TRUE(notifier.Running());
}

TEST_F(Counter, LockOfADeadHolderPassesToTheNextIncrement)
{
    test::Sandbox box;
    ASSERT_TRUE(WriteMailCount(10));
    // Starts only add: no notifier takes the lock in between.
    test::InstanceMarker marker;
    ASSERT_TRUE(marker.valid());
    // A mutex lives only while someone has a handle to it; this one keeps it
    // from vanishing with each dead holder, without ever waiting on it.
    const fw::UniqueHandle keptOpen(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME));
    ASSERT_TRUE(keptOpen.valid());

    {
        // The helper really leaves the lock abandoned.
        test::CounterLockHolder holder(test::CounterLockHolder::Ending::ExitHolding);
        ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();
        ASSERT_TRUE(holder.process().Wait(30000));
        const fw::UniqueHandle lock(OpenCounterMutex(FALSE, COUNTER_MUTEX_NAME));
        ASSERT_EQ(::WaitForSingleObject(lock.get(), 30000), static_cast<DWORD>(WAIT_ABANDONED));
        ::ReleaseMutex(lock.get());
    }
    {
        test::CounterLockHolder holder(test::CounterLockHolder::Ending::ExitHolding);
        ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();
        ASSERT_TRUE(holder.process().Wait(30000));
        EXPECT_EQ(test::RunToEnd(test::Quoted(box.exe()) + " 2"), 0u);
        EXPECT_EQ(ReadMailCount(), 12);
    }
    {
        test::CounterLockHolder holder;
        ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();
        holder.Terminate();
        EXPECT_EQ(test::RunToEnd(test::Quoted(box.exe()) + " 3"), 0u);
        EXPECT_EQ(ReadMailCount(), 15);
    }
    {
        test::CounterLockHolder holder;
        ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();
        holder.Terminate();
        const test::CtlResult added = test::Ctl("add 4");
        EXPECT_EQ(added.exitCode, 0u) << added.err;
        EXPECT_EQ(OneLine(added.out), "19");
        EXPECT_EQ(ReadMailCount(), 19);
    }
}

TEST_F(Counter, LockHeldPastTheWaitGivesZeroAndStoresNothing)
{
    test::Sandbox box;
    ASSERT_TRUE(WriteMailCount(7));
    test::CounterLockHolder holder;
    ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();

    // Everything waits at the same time, so the test costs one wait.
    std::vector<test::Process> ctls;
    for (const char* arguments : { "get", "set 3", "add 1", "reset" })
        ctls.push_back(
            test::StartOneOfMany(test::Quoted(test::ProgramDir() + "\\larkbellctl.exe") + " " + arguments, true));
    test::Process start = StartNotifier(box, "5");
    const auto timed = [](auto operation) {
        const ULONGLONG begin = ::GetTickCount64();
        const auto result = operation();
        return std::make_pair(result, ::GetTickCount64() - begin);
    };
    auto reader = std::async(std::launch::async, [&timed] { return timed([] { return ReadMailCount(); }); });
    auto writer = std::async(std::launch::async, [&timed] { return timed([] { return WriteMailCount(9); }); });

    // Each gives up only after the whole wait of 10 s (tick counts are coarse).
    const ULONGLONG fullWait = 10000 - 100;
    const auto read = reader.get();
    EXPECT_EQ(read.first, 0);
    EXPECT_GE(read.second, fullWait);
    const auto written = writer.get();
    EXPECT_EQ(written.first, FALSE);
    EXPECT_GE(written.second, fullWait);

    for (const test::Process& ctl : ctls) {
        ASSERT_TRUE(ctl.Wait(60000));
        EXPECT_EQ(ctl.ExitCode(), 1u);
        EXPECT_NE(OneLine(ctl.Errors()), "?") << ctl.Errors();
        EXPECT_EQ(ctl.Output(), "");
    }

    // The start waits out the lock before it goes on to become the notifier.
    ASSERT_TRUE(test::WaitFor([] { return test::InstanceMutexExists(); }, 60000));
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    ASSERT_TRUE(::GetProcessTimes(start.handle(), &created, &exited, &kernel, &user));
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    EXPECT_GE((ticks(now) - ticks(created)) / 10000, fullWait);

    ASSERT_TRUE(holder.Release());
    EXPECT_EQ(ReadMailCount(), 7);
    EXPECT_NE(test::WaitForDialogOf(start.id()), nullptr);
}

TEST_F(Counter, NamedObjectsCarryTheirAccessLists)
{
    // The section is created by a start's write, the mutex by the lock holder
    // or the notifier's own ticks; both are read back from the objects.
    test::Sandbox box;
    ASSERT_FALSE(test::CounterSectionExists());
    test::Process notifier = StartNotifier(box, "2");
    ASSERT_NE(test::WaitForDialogOf(notifier.id()), nullptr);
    ASSERT_EQ(ReadMailCount(), 2);

    test::CounterLockHolder holder;
    ASSERT_TRUE(holder.holding()) << "helper ended with " << holder.process().ExitCode();
    const fw::UniqueHandle mutex(::OpenMutexA(READ_CONTROL, FALSE, COUNTER_MUTEX_NAME));
    ASSERT_TRUE(mutex.valid()) << ::GetLastError();
    const test::DaclView mutexDacl = test::ObjectDacl(mutex.get());
    ExpectMutexEntries(mutexDacl);
    ASSERT_TRUE(holder.Release());

    const fw::UniqueHandle section(::OpenFileMappingA(READ_CONTROL, FALSE, COUNTER_SECTION_NAME));
    ASSERT_TRUE(section.valid()) << ::GetLastError();
    const test::DaclView sectionDacl = test::ObjectDacl(section.get());
    ExpectSectionEntries(sectionDacl, true);
}

TEST_F(Counter, SecurityBuildersMakeExactlyTheseEntries)
{
    SECURITY_DESCRIPTOR descriptor;
    PACL acl = BuildSectionSecurity(&descriptor);
    ASSERT_NE(acl, nullptr);
    const test::DaclView sectionDacl = test::DaclOf(&descriptor);
    EXPECT_FALSE(sectionDacl.defaulted);
    EXPECT_EQ(sectionDacl.aclSize, 28);
    ExpectSectionEntries(sectionDacl, false);
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(&descriptor, &owner, &ownerDefaulted));
    EXPECT_EQ(owner, nullptr);
    FreeSectionSecurity(acl);
    FreeSectionSecurity(nullptr);

    // The mutex's descriptor is only seen on a mutex it creates.
    const std::string name = "lbt-counter-mutex-" + std::to_string(::GetCurrentProcessId());
    const fw::UniqueHandle mutex(OpenCounterMutex(FALSE, name.c_str()));
    ASSERT_TRUE(mutex.valid());
    const test::DaclView mutexDacl = test::ObjectDacl(mutex.get());
    EXPECT_EQ(mutexDacl.aclSize, 56);
    ExpectMutexEntries(mutexDacl);
    EXPECT_FALSE(::ReleaseMutex(mutex.get())) << "created owned without being asked to";

    const std::string ownedName = name + "-owned";
    const fw::UniqueHandle owned(OpenCounterMutex(TRUE, ownedName.c_str()));
    ASSERT_TRUE(owned.valid());
    EXPECT_TRUE(::ReleaseMutex(owned.get())) << "not created owned";
}

TEST_F(Counter, ExistingMutexThatCannotBeCreatedIsOpenedForWaiting)
{
    // A mutex whose list lets Everyone only wait on it: the creation call is
    // refused, the open with SYNCHRONIZE is not.
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    ASSERT_TRUE(::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid));
    const fw::UniqueSid everyone(sid);
    BYTE aclBuffer[64] = {};
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    ASSERT_TRUE(::AddAccessAllowedAce(acl, ACL_REVISION, SYNCHRONIZE, sid));
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, &descriptor, FALSE };
    const std::string name = "lbt-narrow-mutex-" + std::to_string(::GetCurrentProcessId());
    const fw::UniqueHandle narrow(::CreateMutexA(&attributes, FALSE, name.c_str()));
    ASSERT_TRUE(narrow.valid());
    ASSERT_EQ(::CreateMutexA(nullptr, FALSE, name.c_str()), nullptr) << "the list is not enforced here";

    const fw::UniqueHandle opened(OpenCounterMutex(FALSE, name.c_str()));
    ASSERT_TRUE(opened.valid());
    EXPECT_EQ(::WaitForSingleObject(opened.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(::ReleaseMutex(opened.get()));
    // Waiting is all it may do.
    DWORD needed = 0;
    EXPECT_FALSE(::GetKernelObjectSecurity(opened.get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
