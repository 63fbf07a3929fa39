#include "os/thread.h"

#include <chrono>

void OSSleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
