#include "benchline/backend.h"
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

bool BLConfigure(const char* choice, const char* tracePath, std::string& error) {
    std::string value = choice ? choice : "";
    std::unique_ptr<CBLBackend> backend;
    if (value.empty() || value == "sim") {
        backend = BLSimCreateDefault();
    } else if (value.rfind("sim:", 0) == 0) {
        backend = BLSimCreateFromFile(value.substr(4), error);
        if (!backend) return false;
    } else if (value == "linux") {
        backend = BLLinuxCreateReal(error);
        if (!backend) return false;
    } else {
        error = "VOLTARIS_BENCH=" + value + ": unknown bench (use sim, sim:PATH or linux)";
        return false;
    }
    if (!OpenTrace(tracePath, error)) return false;
    g_backend = std::move(backend);
    BLSimStartControl(g_backend.get());
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
        std::fprintf(stderr, "voltaris: VOLTARIS_TRACE %s: cannot write the line \"%s\": %s; the record is incomplete\n",
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
