// Times console commands the way an automation program sends them: 1000 LD
// commands on the built-in bench through a pipe, each from the moment its
// line is written until CLStatus.txt reads READY again. Prints the median,
// the 90th and 99th percentiles, the slowest, and the total.
#include "console_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kCommands = 1000;
using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

}  // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "voltaris-console-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;

    int status = 1;
    {
        CConsoleClientOptions options;
        options.Binary = VOLTARIS_BINARY;
        options.WorkingDirectory = pattern;
        options.Environment = {{"VOLTARIS_BENCH", "sim"},
                               {"VOLTARIS_INSTANCE", "console-bench-" + std::to_string(getpid())}};
        CConsoleClient console(options);
        if (console.WaitForPrompt() != "READY" || console.Command("0") != "READY") {
            std::fprintf(stderr, "console_bench: the console did not start\n");
        } else {
            std::vector<double> times;
            auto start = Clock::now();
            for (int i = 0; i < kCommands; ++i) {
                console.ClearStatus();
                auto sent = Clock::now();
                console.SendRaw("LD\n");
                if (console.WaitForPrompt() != "READY") {
                    std::fprintf(stderr, "console_bench: command %d did not end in READY\n", i);
                    break;
                }
                times.push_back(Microseconds(Clock::now() - sent));
            }
            double total = Microseconds(Clock::now() - start) / 1000.0;
            console.Send("EXIT");
            if (console.Wait() == 0 && times.size() == kCommands) {
                std::sort(times.begin(), times.end());
                auto at = [&](double q) { return times[static_cast<size_t>(q * (times.size() - 1))]; };
                std::printf("console LD round trip through a pipe, %d commands\n", kCommands);
                std::printf("  median %8.1f us\n  p90    %8.1f us\n  p99    %8.1f us\n  max    %8.1f us\n", at(0.5),
                            at(0.9), at(0.99), times.back());
                std::printf("  total  %8.1f ms (%.0f commands/s)\n", total, kCommands / (total / 1000.0));
                status = 0;
            }
        }
    }
    std::filesystem::remove_all(pattern);
    return status;
}
