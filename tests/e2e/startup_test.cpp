#include <gtest/gtest.h>

#include "counter.h"
#include "harness.h"

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { test::EndStrayNotifiers(); }
    void TearDown() override { test::EndStrayNotifiers(); }
};

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
