// Start-up and shut-down of the real voltaris binary: switches, the order of
// stack switch and bench, bench errors, a second instance, and signals.
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

const std::string kHelp =
    "\n\n Command Line Help Menu for xHCI Voltaris\n\n OPTIONS:\n\n\t/?\tThis help menu\n\t/C\tCommand Line Mode\n";

class StartupTest : public ::testing::Test {
protected:
    CProcessOptions Options(std::vector<std::string> switches) {
        CProcessOptions options;
        options.Arguments = {VOLTARIS_BINARY};
        options.Arguments.insert(options.Arguments.end(), switches.begin(), switches.end());
        options.WorkingDirectory = m_dir.Path();
        options.Environment = {
            {"VOLTARIS_TRACE", Trace()}, {"VOLTARIS_INSTANCE", m_instance}, {"VOLTARIS_BENCH", "sim"}};
        return options;
    }
    std::string Trace() const { return m_dir.File("trace.log"); }
    // Trace lines of the start-up and shut-down steps, without the requests between them.
    std::vector<std::string> Steps() const {
        std::vector<std::string> steps;
        for (const auto& line : ReadLines(Trace())) {
            if (line.rfind("InitRailswap", 0) == 0 || line.rfind("CleanupRailswap", 0) == 0 ||
                line.find("CXhciBenchline") != std::string::npos || line.rfind("SelectStack", 0) == 0)
                steps.push_back(line);
        }
        return steps;
    }
    bool StatusFilesExist() const {
        return FileExists(m_dir.File("CLStatus.txt")) || FileExists(m_dir.File("CLInformation.txt"));
    }

    CTempDir m_dir;
    std::string m_instance = UniqueInstanceName();
};

const std::vector<std::string> kDialogRun = {
    "InitRailswap stack -> 0", "new CXhciBenchline",         "SelectStack bench 5 -> 0x00000000",
    "delete CXhciBenchline",   "CleanupRailswap stack -> 0",
};

}  // namespace

TEST_F(StartupTest, HelpSwitchPrintsHelpByteForByteAndTouchesNothing) {
    // The help needs no bench: one that cannot be used does not stop it.
    for (const char* bench : {"sim", "bogus"}) {
        CProcessOptions options = Options({"/?"});
        options.Environment["VOLTARIS_BENCH"] = bench;
        CProcessResult result = RunProcess(options);
        EXPECT_EQ(result.ExitStatus, 0);
        EXPECT_EQ(result.Out, kHelp);
        EXPECT_EQ(result.Err, "");
    }
    EXPECT_TRUE(ReadLines(Trace()).empty());
    EXPECT_FALSE(StatusFilesExist());
}

TEST_F(StartupTest, ConsoleSwitchThenHelpEndsWithStatusFileAtBusy) {
    CProcessResult result = RunProcess(Options({"/c", "/?"}));
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, kHelp);
    EXPECT_EQ(ReadFile(m_dir.File("CLStatus.txt")), "BUSY\r\n");
    EXPECT_TRUE(FileExists(m_dir.File("CLInformation.txt")));
    EXPECT_EQ(ReadFile(m_dir.File("CLInformation.txt")), "");
    EXPECT_TRUE(Steps().empty()) << "neither bench nor stack may be touched";
}

TEST_F(StartupTest, LongAndUnknownArgumentsAreIgnored) {
    // An argument is compared on its first 31 characters only, so a switch
    // followed by more text is no switch.
    CProcessResult result = RunProcess(Options({"/?" + std::string(40, 'x'), "-h", "/X", "/?"}));
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, kHelp);
}

TEST_F(StartupTest, DialogModeSwitchesStackBeforeBenchAndRestoresItAfter) {
    CProcessOptions options = Options({"unknown-argument"});
    options.Terminal = true;
    options.Input = "\x1b";  // Escape closes the main dialog
    CProcessResult result = RunProcess(options);
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(Steps(), kDialogRun);
    EXPECT_FALSE(StatusFilesExist());
    // The terminal shows it before the dialog (stderr is the terminal too).
    EXPECT_NE(result.Out.find("voltaris: simulated bench (built in): nothing reaches this machine's USB hardware\r\n"),
              std::string::npos);
}

TEST_F(StartupTest, TerminationSignalsRunTheNormalShutDown) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove(Trace().c_str());
        CProcessOptions options = Options({});
        options.Terminal = true;
        CRunningProcess process(options);
        ASSERT_TRUE(WaitFor([&] { return Steps().size() >= 3; })) << "voltaris did not start";
        process.Signal(signo);
        EXPECT_EQ(process.Wait(), 128 + signo);
        EXPECT_EQ(Steps(), kDialogRun) << "signal " << signo;
    }
}

TEST_F(StartupTest, SecondInstanceEndsAtOnceWithoutTouchingAnything) {
    CProcessOptions first = Options({});
    first.Terminal = true;
    CRunningProcess running(first);
    ASSERT_TRUE(WaitFor([&] { return Steps().size() >= 3; }));

    CTempDir other;
    CProcessOptions second = Options({"/C"});
    second.WorkingDirectory = other.Path();
    second.Environment["VOLTARIS_TRACE"] = other.File("trace.log");
    CProcessResult result = RunProcess(second);
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "voltaris: xHCI Voltaris is already running\n");
    EXPECT_FALSE(FileExists(other.File("CLStatus.txt")));
    EXPECT_FALSE(FileExists(other.File("trace.log")));

    running.Write("\x1b");
    EXPECT_EQ(running.Wait(), 0);
}

TEST_F(StartupTest, KilledInstanceLeavesNoStaleGuard) {
    CProcessOptions first = Options({});
    first.Terminal = true;
    {
        CRunningProcess running(first);
        ASSERT_TRUE(WaitFor([&] { return Steps().size() >= 3; }));
        running.Signal(SIGKILL);
        EXPECT_EQ(running.Wait(), 128 + SIGKILL);
    }
    CProcessResult result = RunProcess(Options({"/?"}));
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, kHelp);
}

TEST_F(StartupTest, BadBenchChoiceEndsWithStatusTwoBeforeAnythingElse) {
    struct Case {
        std::string Bench;
        std::string Expect;  // part of the one error line
    } cases[] = {
        {"bogus", "VOLTARIS_BENCH=bogus"},
        {"sim:" + m_dir.File("missing.toml"), "missing.toml"},
        {"sim:" + m_dir.File("bad.toml"), "bad.toml:3:"},
    };
    WriteTextFile(m_dir.File("bad.toml"), "[[controller]]\nid = \"x\"\nnot_a_key = 1\n");
    for (const auto& c : cases) {
        CProcessOptions options = Options({"/C"});
        options.Environment["VOLTARIS_BENCH"] = c.Bench;
        CProcessResult result = RunProcess(options);
        EXPECT_EQ(result.ExitStatus, 2) << c.Bench;
        EXPECT_NE(result.Err.find(c.Expect), std::string::npos) << result.Err;
        EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << result.Err;
        EXPECT_EQ(result.Out, "");
        EXPECT_FALSE(StatusFilesExist());
        EXPECT_TRUE(Steps().empty());
    }
}

// A driving program follows the console through the status files alone, so
// /C without them ends at once; a trace that loses lines says so.
TEST_F(StartupTest, UnwritableStatusFilesEndTheConsoleAndALostTraceIsSaid) {
    CProcessOptions options = Options({"/C"});
    options.WorkingDirectory = "/proc";  // no one can create files there, root included
    CProcessResult result = RunProcess(options);
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err.rfind("voltaris: cannot write the console's status files in the working directory: ", 0), 0u)
        << result.Err;
    EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << result.Err;
    EXPECT_TRUE(Steps().empty());

    options = Options({"/C"});
    options.Environment["VOLTARIS_TRACE"] = "/dev/full";
    options.Input = "EXIT\n";
    result = RunProcess(options);
    EXPECT_EQ(result.ExitStatus, 0);
    // After the line that says the bench is simulated: the first lost line, and at exit how many.
    EXPECT_NE(result.Err.find("voltaris: simulated bench (built in): nothing reaches this machine's USB hardware\n"
                              "voltaris: VOLTARIS_TRACE /dev/full: cannot write the line \"InitRailswap list -> 0\": "
                              "No space left on device; the record is incomplete\n"),
              std::string::npos)
        << result.Err;
    EXPECT_NE(result.Err.find("lines could not be written and are missing\n"), std::string::npos) << result.Err;
    EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 3) << result.Err;
}
