#include "app/stack_config.h"

#include <gtest/gtest.h>

TEST(StackConfig, HoldsTheFiveDriverRowsInOrder) {
    CIniArgs config;
    AddStackConfigRows(config);
    const std::vector<CIniArgs::Row> expected = {
        {"Quorvex", "title", "xHCI VOLTRA"},
        {"ComplianceDriver", "drvName", "Kilnhost"},
        {"ComplianceDriver", "drvInfName", "Kilnhost.inf"},
        {"ComplianceDriver", "RegistryKey", "xhci_driver"},
        {"Quorvex", "HostControllerType", "xhci"},
    };
    EXPECT_EQ(config.Rows(), expected);

    // The console extends its own copy; the original keeps its rows.
    CIniArgs copy = config;
    copy.AddArg("CommandLineMode", "ListHostController", "");
    EXPECT_EQ(config.Rows().size(), 5u);
    EXPECT_EQ(copy.Rows().size(), 6u);
}
