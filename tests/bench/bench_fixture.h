// A simulated bench behind the bus model, with the component's request
// trace collected per test.
#pragma once

#include "bench/bus_model.h"
#include "bench/executors.h"
#include "benchline/backend.h"
#include "benchline/sim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Four root ports: two USB 2.0 and two SuperSpeed.
//   addr 1  hub at 1 (4 ports)       addr 2  device at 1.1    addr 3  device at 1.3
//   addr 4  device at 2 (full)       root port 3 is empty
//   addr 5  SuperSpeed hub at 4      addr 6  SuperSpeed device at 4.1
inline const char* const kSmallBench = R"(
[[controller]]
id = "Bench host"
ports = ["usb2", "usb2", "ss", "ss"]
device = [
  {at = "1", vid = 0x0451, pid = 0x2046, speed = "high", hub_ports = 4},
  {at = "1.1", vid = 0x0781, pid = 0x5567, serial = 1, speed = "high"},
  {at = "1.3", vid = 0x0781, pid = 0x5567, serial = 2, speed = "high"},
  {at = "2", vid = 0x046d, pid = 0xc52b, speed = "full"},
  {at = "4", vid = 0x0bda, pid = 0x0411, speed = "super", hub_ports = 2},
  {at = "4.1", vid = 0x0bda, pid = 0x9210, speed = "super"},
]
)";

class CBenchTest : public ::testing::Test {
protected:
    void TearDown() override {
        DestroyBench();
        BusModel() = CBusModel{};
        SetRemoveDevicePrompt(nullptr);
        BLSetTraceSink(nullptr, nullptr);
        BLInstallBackend(nullptr);
    }

    // Loads a bench, creates the root object and lists the controllers.
    void Load(const std::string& text) {
        std::string error;
        auto backend = BLSimCreateFromText(text, "test bench", error);
        ASSERT_TRUE(backend) << error;
        m_backend = backend.get();
        BLInstallBackend(backend.release());
        BLSetTraceSink(&CBenchTest::Collect, this);
        ASSERT_EQ(CreateBench(), BENCH_OK);
        ASSERT_EQ(BuildHostList(m_hosts), BENCH_OK);
    }

    // Loads a bench, selects its first controller and enumerates every device.
    void LoadAndEnumerate(const std::string& text) {
        ASSERT_NO_FATAL_FAILURE(Load(text));
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        ASSERT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
        m_trace.clear();
    }

    void Unplug(const std::string& at) {
        std::string error;
        ASSERT_TRUE(BLSimUnplug(m_backend, 0, at, error)) << error;
    }
    void Plug(const std::string& at) {
        std::string error;
        ASSERT_TRUE(BLSimPlug(m_backend, 0, at, error)) << error;
    }
    void PowerCycle(const std::string& at) {
        std::string error;
        ASSERT_TRUE(BLSimPowerCycle(m_backend, 0, at, error)) << error;
    }

    // The requests that act on the bus since the last call, in order; reads
    // and look-ups are left out.
    std::vector<std::string> Sent() {
        static const char* const kReads[] = {"Get", "Is", "Find", "ReadRegister"};
        std::vector<std::string> sent;
        for (const std::string& line : m_trace) {
            bool read = false;
            for (const char* prefix : kReads) read = read || line.rfind(prefix, 0) == 0;
            // The descriptor read is a request on the bus, not a look-up.
            if (!read || line.rfind("GetDescriptor", 0) == 0) sent.push_back(line);
        }
        m_trace.clear();
        return sent;
    }

    // Index of the device with this address in DeviceList.
    uint8_t DeviceIndex(uint8_t address) {
        for (size_t i = 0; i < BusModel().DeviceList.size(); ++i) {
            uint8_t a = 0;
            BusModel().DeviceList[i]->GetAddress(&a);
            if (a == address) return static_cast<uint8_t>(i);
        }
        ADD_FAILURE() << "no device at address " << int(address);
        return NO_SELECTION;
    }

    CBLBackend* m_backend = nullptr;
    std::vector<HostRecord> m_hosts;
    std::vector<std::string> m_trace;

private:
    static void Collect(const std::string& line, void* context) {
        static_cast<CBenchTest*>(context)->m_trace.push_back(line);
    }
};

using Lines = std::vector<std::string>;
