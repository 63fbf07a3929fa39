// Parse throughput on a generated 20 MiB Vendor Info File and query cost
// against the field count, each beside the plain std::regex approach: one
// regex compiled for every line parsed and for every field tested.
#include "vif_line.h"

#include <scrivlet/scrivlet.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr std::size_t BENCH_FILE_BYTES = 20u << 20;
// The regex approach parses under 1 MiB/s, so it reads the file's first
// part only.
constexpr std::size_t BENCH_REGEX_FILE_BYTES = 2u << 20;
constexpr double BENCH_MIB = 1024.0 * 1024.0;

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestOf(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(work));
    return best;
}

// Lines as a generator writes them: banners, tabbed groups, trailing
// comments, CR LF ends, text and numeric fields.
std::string MakeFile() {
    std::string text;
    for (unsigned block = 0; text.size() < BENCH_FILE_BYTES; ++block) {
        const std::string n = std::to_string(block);
        text += ";;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;\r\n;   Block " + n + "\r\n\r\n";
        text += "$Vendor_Name_" + n + ": \"Example Vendor; Inc.\"\r\n";
        text += "$Product_Name_" + n + " : \"Widget, rev " + n + "\"\r\n";
        text += "UUT_Device_Type_" + n + ": 4 ; DRP\r\n";
        text += "Connector_Type_" + n + ": 2\r\nDevice_Speed_" + n + ": 0x1\r\n";
        text += "Type_C_Can_Act_As_Device_" + n + ": YES\r\nPD_Power_as_Sink_" + n + ": 45000\r\n";
        text += "\tSnk_PDO_Voltage_" + n + ": 100\r\n\tSnk_PDO_Op_Current_" + n + ": 0x0FA\n";
        text += "\tSVID_" + n + "_SOP: 0xff01\r\nNot a field line " + n + "\r\n";
    }
    return text;
}

// The approach as first written: a regex compiled for every line.
std::size_t ParseWithRegexPerLine(const std::string& path) {
    std::ifstream in(path);
    std::vector<CVIFField> fields;
    std::string line;
    while (std::getline(in, line)) {
        const std::string clean(CleanLine(line));
        if (clean.empty()) continue;
        const std::regex pattern(
            clean[0] == '$' ? R"re(^(\$[[:alnum:]_']+)\s*:\s*"(.*)"$)re"
                            : R"re(^([[:alnum:]_']+)\s*:\s*(0x[[:xdigit:]]+|[[:digit:]]+|YES|NO)$)re",
            std::regex::ECMAScript | std::regex::icase);
        std::smatch groups;
        if (std::regex_match(clean, groups, pattern)) fields.emplace_back(groups[1].str(), groups[2].str());
    }
    return fields.size();
}

// ... and for every field a query tests.
std::size_t CountWithRegexPerField(const std::vector<CVIFField>& fields, const char* pattern) {
    std::size_t count = 0;
    for (const CVIFField& field : fields)
        if (std::regex_match(field.Name(), std::regex(pattern, std::regex::ECMAScript | std::regex::icase)))
            ++count;
    return count;
}

void BenchParse(const std::string& path, double mib, const std::string& regexPath, double regexMib) {
    std::size_t fields = 0;
    std::size_t regexFields = 0;
    const double seconds = BestOf(3, [&] { fields = CVendorInfoFile(path.c_str()).Count(); });
    const double regexSeconds = Seconds([&] { regexFields = ParseWithRegexPerLine(regexPath); });
    const bool same = CVendorInfoFile(regexPath.c_str()).Count() == regexFields;
    std::printf("parse\n");
    std::printf("  scrivlet        %6.1f MiB  %8.3f s  %8.1f MiB/s  (%zu fields)\n", mib, seconds,
                mib / seconds, fields);
    std::printf("  regex per line  %6.1f MiB  %8.3f s  %8.1f MiB/s%s\n", regexMib, regexSeconds,
                regexMib / regexSeconds, same ? "" : "  (fields differ!)");
    std::printf("  speed-up        %.1fx\n", (mib / seconds) / (regexMib / regexSeconds));
}

void BenchQueries() {
    std::printf("query Count(\"^Device_Speed$\") by field count\n");
    std::printf("  %8s  %14s  %16s  %9s\n", "fields", "scrivlet us", "regex/field us", "speed-up");
    for (std::size_t n : {10u, 100u, 1000u, 10000u, 100000u}) {
        std::vector<CVIFField> fields;
        for (std::size_t i = 0; i < n; ++i) fields.emplace_back("Field_Number_" + std::to_string(i), "1");
        fields[n / 2].Name("Device_Speed");
        const CVendorInfoFile file(fields);
        const int repeats = static_cast<int>(std::max<std::size_t>(1, 200000 / n));
        std::size_t ours = 0;
        const double oursSeconds = Seconds([&] {
            for (int r = 0; r < repeats; ++r) ours += file.Count("^Device_Speed$");
        }) / repeats;
        std::size_t theirs = 0;
        const int theirRepeats = std::max(1, repeats / 50);
        const double theirsSeconds = Seconds([&] {
            for (int r = 0; r < theirRepeats; ++r) theirs += CountWithRegexPerField(fields, "^Device_Speed$");
        }) / theirRepeats;
        std::printf("  %8zu  %14.2f  %16.2f  %8.1fx%s\n", n, oursSeconds * 1e6, theirsSeconds * 1e6,
                    theirsSeconds / oursSeconds,
                    ours / repeats == theirs / theirRepeats ? "" : "  (counts differ!)");
    }
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("scrivlet_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string text = MakeFile();
    const std::string part = text.substr(0, text.rfind('\n', BENCH_REGEX_FILE_BYTES) + 1);
    const std::string path = (dir / "generated_vif.txt").string();
    const std::string regexPath = (dir / "generated_part_vif.txt").string();
    std::ofstream(path, std::ios::binary) << text;
    std::ofstream(regexPath, std::ios::binary) << part;
    BenchParse(path, static_cast<double>(text.size()) / BENCH_MIB, regexPath,
               static_cast<double>(part.size()) / BENCH_MIB);
    BenchQueries();
    std::filesystem::remove_all(dir);
    return 0;
}
