#include "benchline/backend.h"
#include "benchline/bench_choice.h"
#include "benchline/linux.h"
#include "benchline/sim.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace {

std::unique_ptr<CBLBackend> g_backend;

// The trace may be written from the console's descriptor loop thread and the
// sim's control thread, so writes are serialised.
std::mutex g_traceMutex;
int g_traceFd = -1;
BLTraceSink g_traceSink = nullptr;
std::atomic<BLProgressSink> g_progressSink{nullptr};
std::atomic<void*> g_progressContext{nullptr};
void* g_traceContext = nullptr;
// Asked and noted on the thread that makes the request; the descriptor
// loop's reads ask nothing, but may run beside a note being taken.
BLConfirmSink g_confirmSink = nullptr;
void* g_confirmContext = nullptr;
std::mutex g_notesMutex;
std::vector<std::string> g_notes;
std::string g_tracePath;
uint64_t g_traceLost = 0;  // lines that could not be written whole

bool OpenTrace(const char* path, std::string& error) {
    if (!path || !*path) return true;
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = std::string("VOLTARIS_TRACE: cannot open ") + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard lock(g_traceMutex);
    if (g_traceFd >= 0) ::close(g_traceFd);
    g_traceFd = fd;
    g_tracePath = path;
    g_traceLost = 0;
    return true;
}

// A machine without xHCI controllers: no root object, nothing to list or
// switch, so both front ends say that no host controller was found.
class CNoControllerBackend : public CBLBackend {
public:
    CXhciBenchline* CreateBenchline() override { return nullptr; }
    std::vector<std::string> HostIds() override { return {}; }
    int32_t SwitchStack(EBLSwitchRequest request, const std::string&) override {
        return request == BL_SWITCH_LIST || request == BL_SWITCH_SELECT ? -1 : 0;
    }
};
// Says how many lines the trace lost, and closes it. Holds the trace's lock.
void CloseTrace() {
    if (g_traceFd < 0) return;
    ::close(g_traceFd);
    g_traceFd = -1;
    if (g_traceLost > 0)
        std::fprintf(stderr, "voltaris: VOLTARIS_TRACE %s: %llu lines could not be written and are missing\n",
                     g_tracePath.c_str(), static_cast<unsigned long long>(g_traceLost));
    g_traceLost = 0;
}

}  // namespace

bool BLConfigure(const char* choice, const char* tracePath, std::string& error, std::string* note) {
    CBLBenchChoice chosen = BLChooseBench(choice, BLReadMachine());
    std::unique_ptr<CBLBackend> backend;
    switch (chosen.Bench) {
    case EBLBench::Sim: backend = BLSimCreateDefault(); break;
    case EBLBench::SimFile: backend = BLSimCreateFromFile(chosen.Path, error); break;
    case EBLBench::Linux: backend = BLLinuxCreateReal(error); break;
    case EBLBench::NoController: backend = std::make_unique<CNoControllerBackend>(); break;
    case EBLBench::Refused: error = chosen.Line; break;
    }
    if (!backend || !OpenTrace(tracePath, error)) return false;
    g_backend = std::move(backend);
    BLSimStartControl(g_backend.get());
    if (note) *note = chosen.Line;
    return true;
}

void BLInstallBackend(CBLBackend* backend) { g_backend.reset(backend); }

CBLBackend* BLBackend() { return g_backend.get(); }

void BLShutdown() {
    g_backend.reset();
    std::lock_guard lock(g_traceMutex);
    CloseTrace();
}

CXhciBenchline* BLCreateBenchline() { return g_backend ? g_backend->CreateBenchline() : nullptr; }

bool BLTraceEnabled() {
    std::lock_guard lock(g_traceMutex);
    return g_traceFd >= 0 || g_traceSink != nullptr;
}

void BLTrace(const std::string& line) {
    std::lock_guard lock(g_traceMutex);
    if (g_traceSink) g_traceSink(line, g_traceContext);
    if (g_traceFd < 0) return;
    std::string text = line + "\n";
    // One write per line, so lines from two processes appending to one file
    // never interleave. A full disk must not stop a test on the bus, but the
    // record is then incomplete, and whoever reads it must know.
    ssize_t written;
    do {
        written = ::write(g_traceFd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size())) return;
    if (g_traceLost++ == 0)
        std::fprintf(stderr,
                     "voltaris: VOLTARIS_TRACE %s: cannot write the line \"%s\": %s; the record is incomplete\n",
                     g_tracePath.c_str(), line.c_str(), written < 0 ? std::strerror(errno) : "written only in part");
}

void BLSetTraceSink(BLTraceSink sink, void* context) {
    std::lock_guard lock(g_traceMutex);
    g_traceSink = sink;
    g_traceContext = context;
}

std::string BLFormatStatus(int32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    return text;
}

void BLSetProgressSink(BLProgressSink sink, void* context) {
    g_progressContext.store(context);
    g_progressSink.store(sink);
}

void BLProgress() {
    if (BLProgressSink sink = g_progressSink.load()) sink(g_progressContext.load());
}

void BLSetConfirmSink(BLConfirmSink sink, void* context) {
    g_confirmSink = sink;
    g_confirmContext = context;
}

bool BLConfirm(const std::string& text) { return g_confirmSink && g_confirmSink(text, g_confirmContext); }

void BLNote(const std::string& text) {
    std::lock_guard lock(g_notesMutex);
    g_notes.push_back(text);
}

std::vector<std::string> BLTakeNotes() {
    std::lock_guard lock(g_notesMutex);
    return std::exchange(g_notes, {});
}
