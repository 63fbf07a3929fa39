// Until the test dialogs land, each choice opens its dialog's template with
// a note in the status window; Return To Main and Escape close it.
#include "gui/test_dialogs.h"

#include "gui/device_test_dialog.h"
#include "gui/host_test_dialog.h"
#include "gui/resource.h"
#include "gui/test_dialog.h"

namespace {

struct CPlaceholderIds {
    int templateId;
    int statusId;
    int returnId;
};

constexpr CPlaceholderIds kPlaceholders[] = {
    {IDD_HUB_TEST, IDC_HUB_STATUS, IDC_HUB_RETURN},
    {IDD_SS_TEST, IDC_SS_STATUS, IDC_SS_RETURN},
};

class CPlaceholderTestDialog : public CTestDialog {
public:
    explicit CPlaceholderTestDialog(const CPlaceholderIds& ids) : CTestDialog(ids.templateId), m_ids(ids) {}

    bool OnNotify(unsigned code, int id) override {
        if (code == BN_CLICKED && id == m_ids.returnId) {
            EndDialog(0);
            return true;
        }
        return CDialog::OnNotify(code, id);
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, m_ids.statusId, m_statusWindow); }

    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        m_statusWindow.SetWindowText("This test dialog is not available in this build yet.");
        return true;
    }

private:
    CPlaceholderIds m_ids;
};

}  // namespace

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
    for (const auto& ids : kPlaceholders) {
        if (ids.templateId != templateId) continue;
        CPlaceholderTestDialog dialog(ids);
        dialog.DoModal();
    }
}
