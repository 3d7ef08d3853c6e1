#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "counter.h"
#include "harness.h"
#include "objects.h"

namespace {

// The one line a program printed, without its line end; "?" unless it
// printed exactly one line.
std::string OneLine(const std::string& text)
{
    const size_t end = text.find('\n');
    if (end == std::string::npos || end != text.size() - 1)
        return "?";
    return text.substr(0, end > 0 && text[end - 1] == '\r' ? end - 1 : end);
}

std::string CtlCommand(const std::string& arguments)
{
    return test::Quoted(test::ProgramDir() + "\\larkbellctl.exe") + (arguments.empty() ? "" : " " + arguments);
}

} // namespace

// The test process writes the count first, so it holds the section and the
// short-lived tool's changes stay.

TEST(Ctl, EachCommandPrintsTheCountAfterIt)
{
    ASSERT_TRUE(WriteMailCount(5));
    struct Step {
        const char* arguments;
        const char* printed;
        int32_t stored;
    };
    const Step steps[] = {
        { "get", "5", 5 },
        { "set 42", "42", 42 },
        { "add -50", "-8", -8 },
        { "add +3", "-5", -5 },
        { "set -2147483648", "-2147483648", INT32_MIN },
        { "add -1", "2147483647", INT32_MAX },
        { "add 1", "-2147483648", INT32_MIN },
        { "reset", "0", 0 },
        { "get", "0", 0 },
    };
    for (const Step& step : steps) {
        const test::CtlResult result = test::Ctl(step.arguments);
        EXPECT_EQ(result.exitCode, 0u) << step.arguments << ": " << result.err;
        EXPECT_EQ(OneLine(result.out), step.printed) << step.arguments;
        EXPECT_EQ(result.err, "") << step.arguments;
        EXPECT_EQ(ReadMailCount(), step.stored) << step.arguments;
    }
}

TEST(Ctl, SimultaneousAddsEachSeeTheirOwnSum)
{
    ASSERT_TRUE(WriteMailCount(100));
    std::vector<test::Process> adds;
    for (int i = 0; i < 20; ++i)
        adds.push_back(test::StartOneOfMany(CtlCommand("add 1"), true));

    // An add that held the lock across its read and write prints a sum no
    // other add printed.
    std::vector<long> printed;
    for (const test::Process& add : adds) {
        ASSERT_TRUE(add.Wait(60000));
        EXPECT_EQ(add.ExitCode(), 0u) << add.Errors();
        printed.push_back(strtol(OneLine(add.Output()).c_str(), nullptr, 10));
    }
    std::sort(printed.begin(), printed.end());
    std::vector<long> expected;
    for (long sum = 101; sum <= 120; ++sum)
        expected.push_back(sum);
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(ReadMailCount(), 120);
}

TEST(Ctl, RefusedCommandLinesSayWhyInOneLineAndStoreNothing)
{
    ASSERT_TRUE(WriteMailCount(77));
    const char* const refused[] = {
        "",
        "frob",
        "SET 1",
        "get 1",
        "reset 0",
        "set",
        "add",
        "set 1 2",
        "set 12abc",
        "add 99999999999",
        "set 2147483648",
        "add -2147483649",
        "set \"\"",
        "set \" 5\"",
        "add 0x10",
        "add -",
    };
    for (const char* arguments : refused) {
        test::Process ctl = test::Process::Start(CtlCommand(arguments), true);
        ASSERT_TRUE(ctl.Wait(60000)) << arguments;
        EXPECT_NE(ctl.ExitCode(), 0u) << arguments;
        const std::string error = OneLine(ctl.Errors());
        EXPECT_NE(error, "?") << arguments << ": " << ctl.Errors();
        EXPECT_NE(error, "") << arguments;
        EXPECT_EQ(ctl.Output(), "") << arguments;
        EXPECT_EQ(ReadMailCount(), 77) << arguments;
    }
}

TEST(Ctl, ChangeWithNoNotifierRunningWarnsThatTheCountIsNotKept)
{
    test::EndStrayNotifiers();
    ASSERT_FALSE(test::CounterSectionExists());
    const test::CtlResult set = test::Ctl("set 5");
    EXPECT_EQ(set.exitCode, 0u);
    EXPECT_EQ(OneLine(set.out), "5");
    EXPECT_NE(OneLine(set.err), "?") << set.err;
    EXPECT_NE(set.err.find("not kept"), std::string::npos) << set.err;
    EXPECT_FALSE(test::CounterSectionExists()) << "nothing holds the count once the tool has ended";
    const test::CtlResult get = test::Ctl("get");
    EXPECT_EQ(OneLine(get.out), "0");
    EXPECT_EQ(get.err, "");
}
