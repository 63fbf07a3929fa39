#include "railswap/railswap.h"

#include "benchline/backend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A backend that records what the switcher asked and answers as told.
class CFakeBackend : public CBLBackend {
public:
    CXhciBenchline* CreateBenchline() override { return nullptr; }
    std::vector<std::string> HostIds() override { return Ids; }
    int32_t SwitchStack(EBLSwitchRequest request, const std::string& hostId) override {
        Requests.push_back({request, hostId});
        return Result;
    }

    std::vector<std::string> Ids;
    int32_t Result = 0;
    std::vector<std::pair<EBLSwitchRequest, std::string>> Requests;
};

class RailswapTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_backend = new CFakeBackend;
        BLInstallBackend(m_backend);
        BLSetTraceSink([](const std::string& line,
                          void* context) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
                       &m_trace);
    }
    void TearDown() override {
        BLSetTraceSink(nullptr, nullptr);
        BLInstallBackend(nullptr);
    }

    CFakeBackend* m_backend = nullptr;
    std::vector<std::string> m_trace;
};

CIniArgs ConsoleListRows() {
    CIniArgs args;
    args.AddArg("Quorvex", "title", "xHCI VOLTRA");
    args.AddArg("CommandLineMode", "ListHostController", "");
    return args;
}

}  // namespace

TEST_F(RailswapTest, ListingWritesCountBarAndOneLinePerController) {
    m_backend->Ids = {"Host A [8086:a36d]", "Host B"};
    CSafeString out(nullptr);
    EXPECT_EQ(InitRailswap(ConsoleListRows(), out, 0), 0);
    EXPECT_STREQ(out.get(), "2|0: Host A [8086:a36d]\n1: Host B\n");
    ASSERT_EQ(m_backend->Requests.size(), 1u);
    EXPECT_EQ(m_backend->Requests[0].first, BL_SWITCH_LIST);
    EXPECT_EQ(m_trace, std::vector<std::string>{"InitRailswap list -> 0"});
}

TEST_F(RailswapTest, FailedListingLeavesTextAndPassesResultThrough) {
    m_backend->Ids = {"Host A"};
    for (int32_t result : {-1, 1, 7}) {
        m_backend->Result = result;
        CSafeString out("before");
        EXPECT_EQ(InitRailswap(ConsoleListRows(), out, 0), result);
        EXPECT_STREQ(out.get(), "before");
    }
}

TEST_F(RailswapTest, SelectionRowWinsAndNamesTheHostThatFollowsIt) {
    m_backend->Ids = {"Host A"};
    CIniArgs args = ConsoleListRows();
    args.AddArg("CommandLineMode", "SelectHostController", "");
    args.AddArg("CommandLineMode", "Host A", "");
    CSafeString out(nullptr);
    EXPECT_EQ(InitRailswap(args, out, 0), 0);
    ASSERT_EQ(m_backend->Requests.size(), 1u);
    EXPECT_EQ(m_backend->Requests[0].first, BL_SWITCH_SELECT);
    EXPECT_EQ(m_backend->Requests[0].second, "Host A");
    EXPECT_EQ(m_trace, std::vector<std::string>{"InitRailswap select Host A -> 0"});
}

TEST_F(RailswapTest, PlainRowsSwitchForDialogModeAndCleanupRestores) {
    CIniArgs args;
    args.AddArg("ComplianceDriver", "drvName", "Kilnhost");
    CSafeString out(nullptr);
    EXPECT_EQ(InitRailswap(args, out, 0), 0);
    EXPECT_EQ(CleanupRailswap(args, out, 0), 0);
    ASSERT_EQ(m_backend->Requests.size(), 2u);
    EXPECT_EQ(m_backend->Requests[0].first, BL_SWITCH_STACK);
    EXPECT_EQ(m_backend->Requests[1].first, BL_SWITCH_CLEANUP);
    EXPECT_EQ(m_trace, (std::vector<std::string>{"InitRailswap stack -> 0", "CleanupRailswap stack -> 0"}));
}

TEST_F(RailswapTest, WithoutABenchNoHostIsFound) {
    BLInstallBackend(nullptr);
    CSafeString out(nullptr);
    EXPECT_EQ(InitRailswap(ConsoleListRows(), out, 0), RAILSWAP_NO_HOST);
    EXPECT_STREQ(out.get(), "");
}
