// Shared set-up of the console's end-to-end tests: a temporary working
// directory, a bench file, a unique instance name, the request trace, and a
// running "voltaris /C" driven by the automation client.
#pragma once

#include "console_client.h"
#include "process.h"

#include <gtest/gtest.h>

#include <memory>

// The default bench's controller, as the simulated bench reports it.
inline const std::string kDefaultHostId =
    "(simulated) Norvane USB 3.2 eXtensible Host Controller (PCI VEN_1F3A DEV_0C21 REV_02)";

// One controller with eight ports and nothing attached.
inline const std::string kEmptyBench = R"(
[[controller]]
id = "Empty Controller"
ports = ["usb2", "usb2", "usb2", "usb2", "ss", "ss", "ss", "ss"]
)";

// One high-speed device on root port 1.
inline const std::string kOneDeviceBench = R"(
[[controller]]
id = "Single Device Controller"
ports = ["usb2", "usb2", "ss", "ss"]

[[controller.device]]
at = "1"
vid = 0x1234
pid = 0x0042
serial = 7
speed = "high"
)";

class ConsoleE2ETest : public ::testing::Test {
protected:
    // Starts the console on a bench file's text (empty: the default bench).
    void Start(const std::string& bench = "", bool terminal = false) {
        CConsoleClientOptions options;
        options.Binary = VOLTARIS_BINARY;
        options.WorkingDirectory = m_dir.Path();
        options.Terminal = terminal;
        options.Environment = {
            {"VOLTARIS_INSTANCE", m_instance}, {"VOLTARIS_TRACE", Trace()}, {"VOLTARIS_BENCH", "sim"}};
        std::string which = "(built in)";
        if (!bench.empty()) {
            WriteTextFile(m_dir.File("bench.toml"), bench);
            options.Environment["VOLTARIS_BENCH"] = "sim:" + m_dir.File("bench.toml");
            which = "from " + m_dir.File("bench.toml");
        }
        m_note = "voltaris: simulated bench " + which + ": nothing reaches this machine's USB hardware\n";
        m_console = std::make_unique<CConsoleClient>(options);
    }
    // The line on stderr (the console's output too) with which the console starts.
    const std::string& SimulatedNote() const { return m_note; }

    // Starts the console and chooses host 0, up to the first command prompt.
    void StartReady(const std::string& bench = "", bool terminal = false) {
        Start(bench, terminal);
        ASSERT_EQ(m_console->WaitForPrompt(), "READY");
        ASSERT_EQ(m_console->Command("0"), "READY");
        ASSERT_TRUE(m_console->WaitForOutput("Enter Command: "));
        m_console->TakeOutput();
    }

    // Runs one command and returns what the console wrote for it, up to and
    // including the next prompt; status receives the status file's word.
    std::string Run(const std::string& line, std::string* status = nullptr,
                    const std::string& prompt = "Enter Command: ") {
        std::string word = m_console->Command(line);
        if (status) *status = word;
        EXPECT_TRUE(m_console->WaitForOutput(prompt)) << "no prompt after " << line;
        return m_console->TakeOutput();
    }

    // Ends the console with EXIT and returns its exit status.
    int Exit() {
        m_console->Send("EXIT");
        return m_console->Wait();
    }

    std::string Trace() const { return m_dir.File("trace.log"); }
    std::vector<std::string> TraceLines() const { return ReadLines(Trace()); }
    // Trace lines that start with prefix.
    std::vector<std::string> TraceOf(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const auto& line : TraceLines())
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
        return lines;
    }
    // The start-up and shut-down steps of the trace.
    std::vector<std::string> Steps() const {
        std::vector<std::string> steps;
        for (const auto& line : TraceLines()) {
            if (line.rfind("InitRailswap", 0) == 0 || line.rfind("CleanupRailswap", 0) == 0 ||
                line.find("CXhciBenchline") != std::string::npos)
                steps.push_back(line);
        }
        return steps;
    }
    // Runs voltaris-sim against this test's bench.
    int Sim(const std::string& action, const std::string& at) {
        CProcessOptions options;
        options.Arguments = {VOLTARIS_SIM_BINARY, action, at};
        options.Environment = {{"VOLTARIS_INSTANCE", m_instance}};
        return RunProcess(options).ExitStatus;
    }

    CTempDir m_dir;
    std::string m_instance = UniqueInstanceName();
    std::unique_ptr<CConsoleClient> m_console;
    std::string m_note;
};
