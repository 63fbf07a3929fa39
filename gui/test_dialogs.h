// The four test dialogs, opened by the main dialog's TEST.
#pragma once

// Runs the test dialog of that template modally (IDD_DEVICE_TEST,
// IDD_HUB_TEST, IDD_HOST_TEST or IDD_SS_TEST).
void RunTestDialog(int templateId);
