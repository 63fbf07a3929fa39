// The simulated bench: a backend that models controllers, hubs and devices
// in memory and behaves like hardware (test modes, halting, port states).
#pragma once

#include "benchline/backend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Failure statuses of the simulated bench.
constexpr BLSTATUS BL_SIM_E_NO_RESPONSE = static_cast<BLSTATUS>(0x80001001u);       // the device does not answer
constexpr BLSTATUS BL_SIM_E_REFUSED = static_cast<BLSTATUS>(0x80001002u);           // stall: request refused
constexpr BLSTATUS BL_SIM_E_INVALID_ARGUMENT = static_cast<BLSTATUS>(0x80001003u);  // bad argument or register
constexpr BLSTATUS BL_SIM_E_NOT_CONNECTED = static_cast<BLSTATUS>(0x80001004u);     // no address, no controller

// What the simulated bench puts in front of every host ID it reports (the
// bench file's id follows), so that no list shows a simulated controller as
// this machine's. A bench file's id may have up to 255 characters less the mark.
constexpr const char BL_SIM_HOST_MARK[] = "(simulated) ";
constexpr size_t BL_SIM_MAX_ID = 255 - (sizeof BL_SIM_HOST_MARK - 1);

// The built-in default bench.
std::unique_ptr<CBLBackend> BLSimCreateDefault();
// A bench from a bench file (TOML); null with a one-line error on failure.
std::unique_ptr<CBLBackend> BLSimCreateFromFile(const std::string& path, std::string& error);
// A bench from bench file text; sourceName names it in error messages.
std::unique_ptr<CBLBackend> BLSimCreateFromText(const std::string& text, const std::string& sourceName,
                                                std::string& error);

// Starts the control socket that voltaris-sim talks to, when backend is a
// simulated bench; does nothing for other backends.
void BLSimStartControl(CBLBackend* backend);

// Hot-plug actions on a simulated bench, as voltaris-sim performs them.
// at is a port path ("1", "1.3", "1.3.2") on the given controller (0-based).
// Return false with a message when the path names no device.
bool BLSimUnplug(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error);
bool BLSimPlug(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error);
bool BLSimPowerCycle(CBLBackend* backend, unsigned controller, const std::string& at, std::string& error);

// The tree with addresses and states, as "voltaris-sim show" prints it (all
// controllers, without the closing "ok"); empty when backend is not a
// simulated bench.
std::string BLSimShow(CBLBackend* backend);

// A fault added while the bench runs, as a [[fault]] of a bench file would
// give it: the first Count requests that match answer Status. An empty
// target or args matches any. False when backend is not a simulated bench or
// request names no request.
struct BLSimFault {
    std::string Request;
    std::string Target;
    std::string Args;
    BLSTATUS Status = 0;
    uint64_t Count = 1;
};
bool BLSimAddFault(CBLBackend* backend, const BLSimFault& fault);
