// The looping device descriptor read: a worker thread reads the selected
// device's descriptor every DESCRIPTOR_LOOP_PERIOD_MS while the console
// waits for the Enter key.
#pragma once

#include "bench/bus_model.h"

#include <cstdint>

constexpr int DESCRIPTOR_LOOP_PERIOD_MS = 100;

// Starts the worker; false when no thread could be started.
bool StartDescriptorLoop();
// Stops the worker and waits for it to end. Returns BENCH_OK when every read
// succeeded, else the first failure.
EBenchResult StopDescriptorLoop();
