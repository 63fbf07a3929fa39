// Threads and sleeping.
#pragma once

#include <cstdint>
#include <thread>

// A worker thread. It is joined when the object goes away, so a thread is
// never left running behind its owner.
using COSThread = std::jthread;

// Sleeps for at least ms milliseconds.
void OSSleepMs(uint32_t ms);
