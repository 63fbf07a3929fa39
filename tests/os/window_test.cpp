// Finding a window by its title in another process and asking it to come
// forward.
#include "os/window.h"

#include "os_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("VOLTARIS_INSTANCE", TestInstanceName().c_str(), 1); }
};

}  // namespace

TEST_F(WindowTest, FindAndRaiseAWindowOfAnotherProcess) {
    const char* title = "xHCI Voltaris";
    EXPECT_FALSE(OSFindWindow(title));
    EXPECT_FALSE(OSShowWindow(title));

    // The owner registers, then answers each "p" with whether raise requests came.
    CTestPipe ready, commands;
    pid_t owner = StartChild([&] {
        commands.CloseWrite();
        OSRegisterWindow(title);
        OSRegisterWindow(title);
        ready.Write("r");
        while (commands.Read(1) == "p") ready.Write(OSTakeRaiseRequest() ? "1" : "0");
        return 0;
    });
    commands.CloseRead();
    ASSERT_EQ(ready.Read(1), "r");
    auto poll = [&] {
        commands.Write("p");
        return ready.Read(1);
    };

    EXPECT_TRUE(OSFindWindow(title));
    EXPECT_FALSE(OSFindWindow("xHCI Voltaris 2"));
    EXPECT_EQ(poll(), "0") << "finding is no request to come forward";
    EXPECT_TRUE(OSShowWindow(title));
    EXPECT_TRUE(OSBringWindowToTop(title));
    EXPECT_TRUE(OSSetForegroundWindow(title));
    EXPECT_EQ(poll(), "1");
    EXPECT_EQ(poll(), "0");
    EXPECT_TRUE(OSSetForegroundWindow(title));
    EXPECT_EQ(poll(), "1");

    // Another instance name does not see this window.
    setenv("VOLTARIS_INSTANCE", (TestInstanceName() + "-other").c_str(), 1);
    EXPECT_FALSE(OSFindWindow(title));
    setenv("VOLTARIS_INSTANCE", TestInstanceName().c_str(), 1);

    // A killed owner leaves nothing behind.
    kill(owner, SIGKILL);
    EXPECT_EQ(WaitChild(owner), 128 + SIGKILL);
    EXPECT_FALSE(OSFindWindow(title));
    EXPECT_FALSE(OSBringWindowToTop(title));
}

TEST_F(WindowTest, AWindowOfThisProcessReceivesItsOwnRequests) {
    const char* title = "own window";
    EXPECT_FALSE(OSTakeRaiseRequest());
    OSRegisterWindow(title);
    EXPECT_FALSE(OSTakeRaiseRequest());
    EXPECT_TRUE(OSShowWindow(title));
    EXPECT_TRUE(OSTakeRaiseRequest());
    EXPECT_FALSE(OSTakeRaiseRequest());
}
