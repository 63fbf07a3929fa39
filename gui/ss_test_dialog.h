// The SuperSpeed test dialog: puts a SuperSpeed root port of the selected
// controller, or a downstream port of a SuperSpeed hub below it, into
// transmitter compliance mode.
#pragma once

#include "gui/test_dialog.h"

#include <cstdint>

class CSSTestDialog : public CTestDialog {
public:
    CSSTestDialog();

    bool OnNotify(unsigned code, int id) override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void OnEnumerateBus() override;
    void OnExecute();
    void OnReturnToMain();
    void OnSelection();
    void OnPortNumberChange();

    // The SuperSpeed port numbers of the host (row 0) or of the hub of row.
    void FillPortNumbers(uint8_t row);

    CButton m_enumerateButton;
    CButton m_returnButton;
    CComboBox m_testMode;
    CListBox m_list;  // row 0 the host, row r the SuperSpeed hub HubList[r - 1]
    CComboBox m_portNumber;

    uint8_t m_row = 0;
    uint8_t m_port = 0;
};
