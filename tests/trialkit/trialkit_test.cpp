// The single-instance guard between real processes: a held name, a killed
// holder, programs started by the holder, and instance names side by side.
#include "trialkit/trialkit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const wchar_t* const kName = L"{6F1C2A54-3B7E-4D19-9A0E-5C2B8D7E41A3}";

// The guard helper, running with pipes on its stdin and stdout.
class CGuardHelper {
public:
    explicit CGuardHelper(const char* name) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(GUARD_HELPER), const_cast<char*>(name), nullptr};
        EXPECT_EQ(posix_spawn(&m_pid, GUARD_HELPER, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_input = in[1];
        m_output = out[0];
    }
    ~CGuardHelper() { Wait(); }

    // What the helper's guard reported: "0" or "1".
    std::string Report() {
        char answer[2] = {};
        EXPECT_EQ(read(m_output, answer, 2), 2);
        return std::string(answer, 1);
    }
    void Kill() { kill(m_pid, SIGKILL); }
    // Ends the helper (closing its stdin) and returns its exit status.
    int Wait() {
        if (m_pid < 0) return -1;
        close(m_input);
        close(m_output);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
};

std::string Narrow(const wchar_t* name) { return std::string(name, name + std::wcslen(name)); }

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("VOLTARIS_INSTANCE", m_instance.c_str(), 1); }
    std::string m_instance = "trialkit-test-" + std::to_string(getpid());
};

}  // namespace

TEST_F(GuardTest, AnotherProcessHoldingTheNameIsSeenUntilItEnds) {
    {
        CLimitSingleInstance guard(kName);
        EXPECT_EQ(guard.IsAnotherInstanceRunning(), 0);
        CGuardHelper second(Narrow(kName).c_str());
        EXPECT_EQ(second.Report(), "1");
    }
    CGuardHelper first(Narrow(kName).c_str());
    EXPECT_EQ(first.Report(), "0");
    EXPECT_EQ(CLimitSingleInstance(kName).IsAnotherInstanceRunning(), 1);
    EXPECT_EQ(CLimitSingleInstance(L"{another name}").IsAnotherInstanceRunning(), 0);
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(CLimitSingleInstance(kName).IsAnotherInstanceRunning(), 0);
}

TEST_F(GuardTest, AKilledHolderLeavesNoStaleName) {
    CGuardHelper holder(Narrow(kName).c_str());
    EXPECT_EQ(holder.Report(), "0");
    holder.Kill();
    EXPECT_EQ(holder.Wait(), 128 + SIGKILL);
    EXPECT_EQ(CLimitSingleInstance(kName).IsAnotherInstanceRunning(), 0);
}

TEST_F(GuardTest, AProgramStartedByTheHolderDoesNotKeepTheName) {
    auto guard = std::make_unique<CLimitSingleInstance>(kName);
    CGuardHelper started("{unrelated}");
    EXPECT_EQ(started.Report(), "0");
    guard.reset();
    EXPECT_EQ(CLimitSingleInstance(kName).IsAnotherInstanceRunning(), 0);
}

TEST_F(GuardTest, InstanceNamesKeepRunsApart) {
    CLimitSingleInstance guard(kName);
    setenv("VOLTARIS_INSTANCE", (m_instance + "-b").c_str(), 1);
    CGuardHelper other(Narrow(kName).c_str());
    EXPECT_EQ(other.Report(), "0");
}
