// Helpers for the simulated bench's tests.
#pragma once

#include "benchline/sim.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A bench from bench file text; fails the test when it does not load.
inline std::unique_ptr<CBLBackend> LoadBench(const std::string& text) {
    std::string error;
    auto backend = BLSimCreateFromText(text, "test.toml", error);
    EXPECT_TRUE(backend) << error;
    return backend;
}

// The one error line for bench file text that must not load.
inline std::string BenchError(const std::string& text) {
    std::string error;
    auto backend = BLSimCreateFromText(text, "test.toml", error);
    EXPECT_FALSE(backend) << "loaded:\n" << text;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    return error;
}

// Collects trace lines while it lives.
class CTraceCapture {
public:
    CTraceCapture() { BLSetTraceSink(&CTraceCapture::Sink, this); }
    ~CTraceCapture() { BLSetTraceSink(nullptr, nullptr); }
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    std::vector<std::string> Take() { return std::move(m_lines); }

private:
    static void Sink(const std::string& line, void* self) {
        static_cast<CTraceCapture*>(self)->m_lines.push_back(line);
    }
    std::vector<std::string> m_lines;
};

// A root object that is deleted with the holder.
using CBenchHolder = std::unique_ptr<CXhciBenchline>;
