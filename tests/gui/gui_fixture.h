// A simulated bench behind the bus model and a scripted user in front of the
// dialogs, with the component's requests collected per test.
#pragma once

#include "bench/bus_model.h"
#include "bench/executors.h"
#include "benchline/backend.h"
#include "benchline/sim.h"
#include "dlg/app.h"
#include "dlg/headless.h"
#include "gui/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One controller: root ports 1 to 4 USB 2.0, 5 to 8 SuperSpeed; a high-speed
// 12-port hub at port 1 with a device below it, and a SuperSpeed hub at port 5.
inline const char* const kGuiBench = R"(
[[controller]]
id = "Test host"
driver_version = "1.0.3.7"
ports = ["usb2", "usb2", "usb2", "usb2", "ss", "ss", "ss", "ss"]

[[controller.device]]
at = "1"
vid = 0x2B4E
pid = 0x0412
speed = "high"
hub_ports = 12

[[controller.device]]
at = "1.2"
vid = 0x3A17
pid = 0x1001
serial = 1
speed = "high"

[[controller.device]]
at = "5"
vid = 0x2B4E
pid = 0x0413
speed = "super"
hub_ports = 2
)";

class CGuiTest : public ::testing::Test {
protected:
    void SetUp() override { InstallDialogResources(); }
    void TearDown() override {
        EXPECT_TRUE(user.Errors().empty()) << user.Errors().front();
        DestroyBench();
        BusModel() = CBusModel{};
        BLSetTraceSink(nullptr, nullptr);
        BLInstallBackend(nullptr);
    }

    void Load(const std::string& text) {
        std::string error;
        auto backend = BLSimCreateFromText(text, "test bench", error);
        ASSERT_TRUE(backend) << error;
        BLInstallBackend(backend.release());
        BLSetTraceSink(&CGuiTest::Collect, this);
        ASSERT_EQ(CreateBench(), BENCH_OK);
    }

    // Selects the controller as the main dialog's TEST does and runs a test
    // dialog with the script; the trace starts with the dialog.
    template <typename TDialog>
    void RunTestDialog(std::vector<CHeadlessUser::Step> steps, intptr_t ended = 0) {
        std::vector<HostRecord> hosts;
        ASSERT_EQ(BuildHostList(hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        trace.clear();
        user.Script(std::move(steps));
        TDialog dialog;
        EXPECT_EQ(dialog.DoModal(), ended);
        EXPECT_TRUE(user.ScriptDone());
    }

    // Requests sent to the component whose line starts with prefix.
    size_t Requests(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& line : trace) n += line.rfind(prefix, 0) == 0;
        return n;
    }

    static void Collect(const std::string& line, void* self) { static_cast<CGuiTest*>(self)->trace.push_back(line); }

    CHeadlessUser user;
    std::vector<std::string> trace;
};
