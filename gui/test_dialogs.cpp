// Until the test dialogs land, each choice opens its dialog's template with
// a note in the status window; Return To Main and Escape close it.
#include "gui/test_dialogs.h"

#include "gui/resource.h"
#include "gui/test_dialog.h"

namespace {

struct CPlaceholderIds {
    int templateId;
    int statusId;
    int returnId;
};

constexpr CPlaceholderIds kPlaceholders[] = {
    {IDD_DEVICE_TEST, IDC_DEVICE_STATUS, IDC_DEVICE_RETURN},
    {IDD_HUB_TEST, IDC_HUB_STATUS, IDC_HUB_RETURN},
    {IDD_HOST_TEST, IDC_HOST_STATUS, IDC_HOST_RETURN},
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

void RunTestDialog(int templateId) {
    for (const auto& ids : kPlaceholders) {
        if (ids.templateId != templateId) continue;
        CPlaceholderTestDialog dialog(ids);
        dialog.DoModal();
    }
}
