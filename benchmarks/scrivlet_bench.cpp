// Parse throughput on a generated 20 MiB Vendor Info File, text and XML,
// beside a plain memchr line count of the same file; the memory a parse adds, against the
// file's size, for ordinary and worst-case files; query cost against the
// field count beside a std::regex compiled for every field tested.
#include <scrivlet/scrivlet.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr std::size_t BENCH_FILE_BYTES = 20u << 20;
constexpr double BENCH_MIB = 1024.0 * 1024.0;
// What the parse may add to the process's peak memory, in file sizes.
constexpr double BENCH_MEMORY_BOUND = 3.0;
constexpr double BENCH_XML_MEMORY_BOUND = 2.0;

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

// Product fields and Component blocks as a VIF editor writes them.
std::string MakeXmlFile() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<vif:VIF xmlns:vif=\"u\">\r\n";
    for (unsigned n = 0; xml.size() < BENCH_FILE_BYTES; ++n)
        xml += "  <vif:Component>\r\n    <!--Component " + std::to_string(n) + "-->\r\n    <vif:Port_Label>" +
            std::to_string(n) +
            "</vif:Port_Label>\r\n    <vif:Connector_Type value=\"2\">Type-C</vif:Connector_Type>\r\n"
            "    <vif:USB4_Supported value=\"false\" />\r\n    <vif:SnkPdoList><vif:SnkPDO>"
            "<vif:Snk_PDO_Voltage value=\"100\">5000 mV</vif:Snk_PDO_Voltage></vif:SnkPDO>"
            "</vif:SnkPdoList>\r\n  </vif:Component>\r\n";
    xml += "</vif:VIF>\r\n";
    return xml;
}

// A std::regex compiled for every field a query tests.
std::size_t CountWithRegexPerField(const std::vector<CVIFField>& fields, const char* pattern) {
    std::size_t count = 0;
    for (const CVIFField& field : fields)
        if (std::regex_match(field.Name(), std::regex(pattern, std::regex::ECMAScript | std::regex::icase))) ++count;
    return count;
}

// Reads the file and counts its lines with memchr: the least a parse can do.
std::size_t CountLines(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    std::vector<char> bytes(static_cast<std::size_t>(std::filesystem::file_size(path)));
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::size_t lines = 0;
    for (const char *at = bytes.data(), *end = at + have;; ++at, ++lines) {
        at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        if (at == nullptr) return lines;
    }
}

void BenchParse(const char* label, const std::string& path, double mib) {
    std::size_t fields = 0;
    std::size_t lines = 0;
    const double seconds = BestOf(5, [&] { fields = CVendorInfoFile(path.c_str()).Count(); });
    const double lineSeconds = BestOf(5, [&] { lines = CountLines(path); });
    std::printf("parse, %s\n", label);
    std::printf("  scrivlet          %6.1f MiB  %8.3f s  %8.1f MiB/s  (%zu fields)\n", mib, seconds, mib / seconds,
                fields);
    std::printf("  memchr line count %6.1f MiB  %8.3f s  %8.1f MiB/s  (%zu lines)\n", mib, lineSeconds,
                mib / lineSeconds, lines);
    std::printf("  scrivlet takes    %.1fx the time of the line count\n", seconds / lineSeconds);
}

long ReadStatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// The peak resident memory the work adds, measured in a child process whose
// high-water mark is reset first.
long PeakAddedKiB(const std::function<void()>& work) {
    int pipe[2];
    if (::pipe(pipe) != 0) std::abort();
    const pid_t child = ::fork();
    if (child == 0) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = ReadStatusKiB("VmRSS:");
        work();
        const long added = ReadStatusKiB("VmHWM:") - before;
        if (::write(pipe[1], &added, sizeof added) != sizeof added) _exit(1);
        _exit(0);
    }
    long added = -1;
    if (::read(pipe[0], &added, sizeof added) != sizeof added) added = -1;
    ::close(pipe[0]);
    ::close(pipe[1]);
    ::waitpid(child, nullptr, 0);
    return added;
}

void BenchMemory(const std::filesystem::path& dir, const std::string& realistic) {
    struct SInput {
        const char* label;
        std::string bytes;
        bool xml = false;
    };
    std::string utf16 = "\xFF\xFE";
    for (char c : realistic.substr(0, 8u << 20)) (utf16 += c) += '\0';
    std::string junk;
    while (junk.size() < (50u << 20)) junk += "x:\n";
    std::string dense;
    while (dense.size() < BENCH_FILE_BYTES) dense += "a:0\n";
    std::string oneLine = "$Long: \"" + std::string(100u << 20, 'v') + "\"";
    std::string xml = MakeXmlFile();
    const SInput inputs[] = {{"generated", realistic},
                             {"UTF-16 (8 Mi characters)", std::move(utf16)},
                             {"junk lines x:", std::move(junk)},
                             {"densest fields a:0", std::move(dense)},
                             {"one 100 MiB line", std::move(oneLine)},
                             {"XML, generated", std::move(xml), true}};
    std::printf("memory added by a parse (peak resident), bound %.0fx the file\n", BENCH_MEMORY_BOUND);
    for (const SInput& input : inputs) {
        const std::string path = (dir / "memory_vif.txt").string();
        std::ofstream(path, std::ios::binary) << input.bytes;
        std::size_t fields = 0;
        const long kib = PeakAddedKiB([&] { fields = CVendorInfoFile(path.c_str()).Count(); });
        const double ratio = static_cast<double>(kib) * 1024.0 / static_cast<double>(input.bytes.size());
        const double bound = input.xml ? BENCH_XML_MEMORY_BOUND : BENCH_MEMORY_BOUND;
        std::printf("  %-26s %7.1f MiB file  %7.1f MiB  %4.2fx%s%s\n", input.label,
                    static_cast<double>(input.bytes.size()) / BENCH_MIB, static_cast<double>(kib) / 1024.0, ratio,
                    input.xml ? " (XML bound 2x)" : "", ratio > bound ? "  (over the bound!)" : "");
        std::filesystem::remove(path);
    }
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
                                   }) /
            repeats;
        std::size_t theirs = 0;
        const int theirRepeats = std::max(1, repeats / 50);
        const double theirsSeconds = Seconds([&] {
                                         for (int r = 0; r < theirRepeats; ++r)
                                             theirs += CountWithRegexPerField(fields, "^Device_Speed$");
                                     }) /
            theirRepeats;
        std::printf("  %8zu  %14.2f  %16.2f  %8.1fx%s\n", n, oursSeconds * 1e6, theirsSeconds * 1e6,
                    theirsSeconds / oursSeconds, ours / repeats == theirs / theirRepeats ? "" : "  (counts differ!)");
    }
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("scrivlet_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string text = MakeFile();
    const std::string path = (dir / "generated_vif.txt").string();
    std::ofstream(path, std::ios::binary) << text;
    BenchParse("text", path, static_cast<double>(text.size()) / BENCH_MIB);
    const std::string xml = MakeXmlFile();
    const std::string xmlPath = (dir / "generated_vif.xml").string();
    std::ofstream(xmlPath, std::ios::binary) << xml;
    BenchParse("XML", xmlPath, static_cast<double>(xml.size()) / BENCH_MIB);
    BenchMemory(dir, text);
    BenchQueries();
    std::filesystem::remove_all(dir);
    return 0;
}
