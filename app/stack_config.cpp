#include "app/stack_config.h"

void AddStackConfigRows(CIniArgs& config) {
    config.AddArg("Quorvex", "title", "xHCI VOLTRA");
    config.AddArg("ComplianceDriver", "drvName", "Kilnhost");
    config.AddArg("ComplianceDriver", "drvInfName", "Kilnhost.inf");
    config.AddArg("ComplianceDriver", "RegistryKey", "xhci_driver");
    config.AddArg("Quorvex", "HostControllerType", "xhci");
}
