// Each choice of the main dialog opens its test dialog.
#include "gui/test_dialogs.h"

#include "gui/device_test_dialog.h"
#include "gui/host_test_dialog.h"
#include "gui/hub_test_dialog.h"
#include "gui/resource.h"
#include "gui/ss_test_dialog.h"

// Runs dialog D modally when its template is the one asked for.
template <class D>
void RunIf(int templateId, int dialogTemplateId) {
    if (templateId != dialogTemplateId) return;
    D dialog;
    dialog.DoModal();
}

void RunTestDialog(int templateId) {
    RunIf<CDeviceTestDialog>(templateId, IDD_DEVICE_TEST);
    RunIf<CHostTestDialog>(templateId, IDD_HOST_TEST);
    RunIf<CHubTestDialog>(templateId, IDD_HUB_TEST);
    RunIf<CSSTestDialog>(templateId, IDD_SS_TEST);
}
