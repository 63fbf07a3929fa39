// Console input and output on pipes and terminals: lines written ahead,
// type-ahead, long lines, the end of input, signals, whole writes, the title.
#include "os/console.h"
#include "os/signals.h"

#include "os_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct CReadLine {
    EOSReadResult Result;
    std::string Text;
    bool operator==(const CReadLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CReadLine& line) {
    return out << "{" << line.Result << ", \"" << line.Text << "\"}";
}

CReadLine Read(COSLineReader& reader, size_t capacity = 100) {
    std::string buffer(capacity, '\0');
    size_t length = 12345;
    EOSReadResult result = reader.ReadLine(buffer.data(), capacity, &length);
    return {result, buffer.substr(0, length)};
}

// A pseudo-terminal without echo; the reader reads its slave side.
struct CTestTerminal {
    CTestTerminal() {
        termios mode{};
        EXPECT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
        tcgetattr(Slave, &mode);
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(Slave, TCSANOW, &mode);
    }
    ~CTestTerminal() {
        close(Master);
        close(Slave);
    }
    // Types text and waits until the terminal hands a line to readers.
    void Type(const std::string& text) const {
        EXPECT_EQ(write(Master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        pollfd entry{Slave, POLLIN, 0};
        EXPECT_EQ(poll(&entry, 1, 10000), 1);
    }
    int Master = -1;
    int Slave = -1;
};

}  // namespace

TEST(ConsoleReadTest, LinesWrittenAheadThroughAPipeSurviveFlushes) {
    CTestPipe input;
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "line " + std::to_string(i) + "\n";  // well past one read
    input.Write("one\ntwo\r\n\nthree\n" + many + "last");
    input.CloseWrite();

    COSLineReader reader(input.ReadFd);
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "one\n"}));
    reader.FlushTypeAhead();
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "two\r\n"}));
    reader.FlushTypeAhead();
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "\n"}));
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "three\n"}));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "line " + std::to_string(i) + "\n"}));
    }
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "last"}));
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_END, ""}));
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_END, ""}));
}

TEST(ConsoleReadTest, TooLongLinesAreReadToTheirEndAndDropped) {
    struct Case {
        std::string Input;
        std::vector<CReadLine> Lines;
    } cases[] = {
        {"1234567\n", {{OS_READ_LINE, "1234567\n"}, {OS_READ_END, ""}}},
        {"12345678\nok\n", {{OS_READ_TOO_LONG, ""}, {OS_READ_LINE, "ok\n"}}},
        {"123456\r\n", {{OS_READ_LINE, "123456\r\n"}}},
        {"1234567\r\n", {{OS_READ_TOO_LONG, ""}, {OS_READ_END, ""}}},
        {std::string(10000, 'x') + "\nok\n", {{OS_READ_TOO_LONG, ""}, {OS_READ_LINE, "ok\n"}}},
        {"12345678", {{OS_READ_LINE, "12345678"}, {OS_READ_END, ""}}},
        {"123456789", {{OS_READ_TOO_LONG, ""}, {OS_READ_END, ""}}},
        {"", {{OS_READ_END, ""}}},
    };
    for (const auto& c : cases) {
        CTestPipe input;
        input.Write(c.Input);
        input.CloseWrite();
        COSLineReader reader(input.ReadFd);
        for (const auto& line : c.Lines) EXPECT_EQ(Read(reader, 8), line) << "input of " << c.Input.size() << " bytes";
    }
}

TEST(ConsoleReadTest, FlushDropsTerminalTypeAhead) {
    CTestTerminal terminal;
    COSLineReader reader(terminal.Slave);
    terminal.Type("typed ahead\n");
    reader.FlushTypeAhead();
    terminal.Type("next\n");
    EXPECT_EQ(Read(reader), (CReadLine{OS_READ_LINE, "next\n"}));
}

TEST(ConsoleReadTest, TerminationSignalEndsTheWaitAndOtherSignalsDoNot) {
    for (int signo : {SIGUSR1, SIGTERM}) {
        CTestPipe input, ready;
        pid_t child = StartChild([&] {
            OSInstallTerminationHandlers();
            struct sigaction action {};
            action.sa_handler = [](int) {};
            sigaction(SIGUSR1, &action, nullptr);  // no SA_RESTART either
            ready.Write("r");
            COSLineReader reader(input.ReadFd);
            CReadLine line = Read(reader);
            if (signo == SIGTERM) return line == CReadLine{OS_READ_INTERRUPTED, ""} ? 0 : 1;
            return line == CReadLine{OS_READ_LINE, "after\n"} ? 0 : 1;
        });
        ASSERT_EQ(ready.Read(1), "r");
        ASSERT_TRUE(WaitUntilBlocked(child));
        kill(child, signo);
        if (signo == SIGUSR1) input.Write("after\n");
        EXPECT_EQ(WaitChild(child), 0) << "signal " << signo;
    }
}

TEST(ConsoleWriteTest, AllBytesReachANonBlockingPipe) {
    std::string text;
    for (int i = 0; text.size() < 1000000; ++i) text += std::to_string(i) + ",";
    CTestPipe output;
    pid_t reader = StartChild([&] {
        output.CloseWrite();
        return output.Read(text.size() + 1) == text ? 0 : 1;
    });
    output.CloseRead();
    fcntl(output.WriteFd, F_SETFL, O_NONBLOCK);
    EXPECT_TRUE(OSWriteAll(output.WriteFd, text.data(), text.size()));
    output.CloseWrite();
    EXPECT_EQ(WaitChild(reader), 0);
}

TEST(ConsoleWriteTest, AReaderThatWentAwayFailsTheWriteWithoutSigpipe) {
    CTestPipe output;
    output.CloseRead();
    EXPECT_FALSE(OSWriteAll(output.WriteFd, "lost\n", 5));
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

TEST(ConsoleWriteTest, TitleGoesOnlyToATerminalWithoutControlCharacters) {
    auto setTitle = [](int stdoutFd) {
        return StartChild([stdoutFd] {
            dup2(stdoutFd, STDOUT_FILENO);
            OSSetConsoleTitle("xHCI\033\007 Voltaris\x7f");
            return 0;
        });
    };
    CTestTerminal terminal;
    EXPECT_EQ(WaitChild(setTitle(terminal.Slave)), 0);
    const std::string expected = "\033]0;xHCI Voltaris\007";
    std::string got(64, '\0');
    pollfd entry{terminal.Master, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, 10000), 1);
    got.resize(static_cast<size_t>(std::max<ssize_t>(0, read(terminal.Master, got.data(), got.size()))));
    EXPECT_EQ(got, expected);

    CTestPipe pipeOut;
    EXPECT_EQ(WaitChild(setTitle(pipeOut.WriteFd)), 0);
    pipeOut.CloseWrite();
    EXPECT_EQ(pipeOut.Read(64), "");
}
