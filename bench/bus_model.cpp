#include "bench/bus_model.h"

#include "benchline/backend.h"

namespace {
CXhciBenchline* g_root = nullptr;
}

int32_t CreateBench() {
    if (g_root) return BENCH_E_EXISTS;
    g_root = BLCreateBenchline();
    if (!g_root) return BENCH_E_CREATE;
    if (g_root->SelectStack(BL_STACK_COMPLIANCE) < 0) return BENCH_E_STACK;
    return BENCH_OK;
}

int32_t DestroyBench() {
    delete g_root;
    g_root = nullptr;
    return BENCH_OK;
}
