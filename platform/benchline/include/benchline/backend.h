// Choosing and reaching the backend behind the test services component.
//
// VOLTARIS_BENCH picks it (bench_choice.h): "sim" is the built-in simulated
// bench, "sim:PATH" a simulated bench read from a bench file, "linux" and
// unset the machine's own controllers. BLConfigure() is called once at
// start-up, before anything touches the bench; after that
// BLCreateBenchline() makes root objects.
#pragma once

#include "benchline/benchline.h"

#include <cstdint>
#include <string>
#include <vector>

// What the stack switcher asks of the bench it switches.
enum EBLSwitchRequest {
    BL_SWITCH_LIST,     // list the compliance-capable controllers
    BL_SWITCH_SELECT,   // switch one chosen controller
    BL_SWITCH_STACK,    // switch for dialog mode
    BL_SWITCH_CLEANUP,  // restore the operating system's stack
};

class CBLBackend {
public:
    virtual ~CBLBackend() = default;
    // A new root object, or null when none can be made.
    virtual CXhciBenchline* CreateBenchline() = 0;
    // Host ID texts of the controllers, in the order the root object lists them.
    virtual std::vector<std::string> HostIds() = 0;
    // Carries out a stack switcher request; 0 success, 1 reboot needed,
    // -1 no controller, anything else a driver load error. hostId names the
    // controller for BL_SWITCH_SELECT and is empty otherwise.
    virtual int32_t SwitchStack(EBLSwitchRequest request, const std::string& hostId) = 0;
};

// The find-first/find-next walk of a root object (FindFirstHC and
// FindNextHC, FindFirstHub and FindNextHub): Restart goes back to the first
// candidate; Next hands the following one that take accepts (take(i) gives
// the i-th candidate, or null to pass it by), and null after the last.
class CBLWalk {
public:
    void Restart() { m_next = 0; }
    template <class Take>
    auto Next(size_t count, Take take) -> decltype(take(size_t{})) {
        while (m_next < count)
            if (auto found = take(m_next++)) return found;
        return nullptr;
    }

private:
    size_t m_next = 0;
};

// Reads the backend choice (the value of VOLTARIS_BENCH, null when unset)
// and opens the request trace (the value of VOLTARIS_TRACE, null when unset).
// On failure returns false with one line in error saying what is wrong
// (for a bench file: the file, the line and the fault). On success note, when
// given, receives the line to show at start: that the bench is simulated, or
// that the machine has no controller; empty when there is nothing to tell.
bool BLConfigure(const char* choice, const char* tracePath, std::string& error, std::string* note = nullptr);

// Installs a backend directly (tests); takes ownership. Null removes it.
void BLInstallBackend(CBLBackend* backend);

// The configured backend; null before BLConfigure succeeded.
CBLBackend* BLBackend();

// Ends the backend (stops helper threads); called once at process end.
void BLShutdown();

// A new root object of the configured backend, or null.
CXhciBenchline* BLCreateBenchline();

// Request trace: with VOLTARIS_TRACE=PATH every component request is appended
// to PATH as one line: "Method target args -> status", for example
// "SetPortFeature root:2 21 1 0 -> 0x00000000".
bool BLTraceEnabled();
void BLTrace(const std::string& line);
std::string BLFormatStatus(int32_t status);  // "0x%08X"
// Progress of a long wait inside a request (a controller being bound again):
// the backend calls BLProgress() about once a second while it waits, and the
// front end shows it (the console prints a dot). Null stops it.
using BLProgressSink = void (*)(void* context);
void BLSetProgressSink(BLProgressSink sink, void* context);
void BLProgress();

// Before a request that would stop what the machine itself runs on (its
// disks, swap, keyboard, mouse or network), the backend asks through
// BLConfirm() with a text naming what it found; true goes on. Without a
// sink the answer is no, and the request is refused.
using BLConfirmSink = bool (*)(const std::string& text, void* context);
void BLSetConfirmSink(BLConfirmSink sink, void* context);
bool BLConfirm(const std::string& text);

// A note on the request being made that belongs beside its result (a test
// mode that went to another port than the one named); the front end takes
// the notes when it shows the result.
void BLNote(const std::string& text);
std::vector<std::string> BLTakeNotes();

// Routes trace lines to a callback as well (tests); null stops it.
using BLTraceSink = void (*)(const std::string& line, void* context);
void BLSetTraceSink(BLTraceSink sink, void* context);
