// The process-wide model of the bus under test: the test services root
// object, the lists of controllers, hubs and devices, and the selections.
#pragma once

#include "benchline/benchline.h"

#include <cstdint>

constexpr int32_t BENCH_OK = 0;
constexpr int32_t BENCH_E_INDEX = static_cast<int32_t>(0x80000001u);
constexpr int32_t BENCH_E_EXISTS = static_cast<int32_t>(0x80000002u);
constexpr int32_t BENCH_E_CREATE = static_cast<int32_t>(0x80000003u);
constexpr int32_t BENCH_E_STACK = static_cast<int32_t>(0x80000004u);
constexpr int32_t BENCH_E_FAILED = static_cast<int32_t>(0x80000005u);
constexpr int32_t BENCH_E_NO_HOST = static_cast<int32_t>(0x80000006u);
constexpr int32_t BENCH_E_SELECT = static_cast<int32_t>(0x80000007u);
constexpr int32_t BENCH_E_DRIVER_VERSION = static_cast<int32_t>(0x80000008u);

// Creates the root object and selects the compliance stack.
int32_t CreateBench();
// Deletes the root object.
int32_t DestroyBench();
