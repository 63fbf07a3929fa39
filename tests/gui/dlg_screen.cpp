// Shows one dialog on the terminal with sample contents, for screen tests
// in tmux: the templates of the program, lists filled as the dialogs fill
// them (one row longer than its list), and the status windows holding a
// device descriptor dump. While it runs it writes where the layout put the
// frame and every control of the top dialog to LAYOUT_FILE.
//   dlg_screen about|main|device|hub|host|ss|message|question LAYOUT_FILE
#include "dlg/dialog.h"
#include "dlg/layout.h"
#include "dlg/terminal.h"
#include "gui/dialog_helpers.h"
#include "gui/resource.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const char* g_layoutFile = nullptr;

const std::vector<std::string> kDeviceRows = {"NONE", "VID/PID 0x2b4e/412, Address 1, Port 1",
                                              "VID/PID 0x3a17/1001, Address 2, Port 1",
                                              "VID/PID 0x1c4d/a20, Address 4, Port 2"};
const std::vector<std::string> kCommands = {"NONE",         "TEST_J",      "TEST_K",
                                            "TEST_SE0_NAK", "TEST_PACKET", "SINGLE STEP GET DEV DESC"};
const std::vector<std::string> kPorts = {"1", "2", "3", "4"};

const std::map<int, std::vector<std::string>> kRows = {
    {IDC_HOST_LIST, {"Norvane USB 3.2 eXtensible Host Controller - 1.20 (Microsoft)  8 Ports"}},
    {IDC_DEVICE_LIST, kDeviceRows},
    {IDC_HOST_DEVICE_LIST, kDeviceRows},
    {IDC_HUB_LIST, {"NONE", "VID/PID 0x2b4e/412, Address 1  4 Ports", "VID/PID 0x2b4e/413, Address 5  7 Ports"}},
    {IDC_HUB_DOWNSTREAM_LIST, {"NONE", "VID/PID 0x3a17/1001, Address 2, Port 1"}},
    {IDC_SS_LIST, {"HOST: Norvane USB 3.2 eXtensible Host Controller", "HUB: VID/PID 0x2b4e/812, Address 5"}},
    {IDC_DEVICE_COMMAND, kCommands},
    {IDC_HUB_COMMAND, kCommands},
    {IDC_HUB_PORT_COMMAND, kCommands},
    {IDC_HUB_DEVICE_COMMAND, kCommands},
    {IDC_HOST_PORT_COMMAND, kCommands},
    {IDC_HOST_DEVICE_COMMAND, kCommands},
    {IDC_SS_TEST_MODE, {"NONE", "TX_COMPLIANCE_MODE"}},
    {IDC_HUB_PORT_NUMBER, kPorts},
    {IDC_HOST_PORT_NUMBER, kPorts},
    {IDC_SS_PORT_NUMBER, kPorts},
};

std::string DescriptorDump() {
    const uint8_t descriptor[18] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4e,
                                    0x2b, 0x12, 0x04, 0x00, 0x01, 0x01, 0x02, 0x03, 0x01};
    char dump[DIALOG_TEXT_SIZE] = {};
    FormatDescriptorBytes(descriptor, dump, 18);
    return std::string("Get Device Descriptor Raw Value: \n") + dump;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string() : std::string(1, c);
    return out;
}

// frame ROW COL ROWS COLS, then item ID CLASS STYLE ROW COL ROWS COLS<tab>TEXT
void WriteLayout(CDialog& dialog) {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return;
    CDlgLayout layout = DlgLayOutAboveHint(dialog, size.ws_col, size.ws_row);
    std::string temp = std::string(g_layoutFile) + ".new";
    std::ofstream out(temp);
    const CDlgCells& f = layout.frame;
    out << "frame " << f.row << ' ' << f.col << ' ' << f.rows << ' ' << f.cols << '\t' << dialog.Caption() << '\n';
    auto& items = dialog.Items();
    for (size_t i = 0; i < items.size(); ++i) {
        const CDlgWindowState& s = *items[i];
        const CDlgCells& c = layout.items[i];
        out << "item " << s.id << ' ' << s.cls << ' ' << s.style << ' ' << c.row << ' ' << c.col << ' ' << c.rows << ' '
            << c.cols << '\t' << Escaped(s.text) << '\n';
    }
    out.close();
    std::rename(temp.c_str(), g_layoutFile);
}

class CSampleDialog : public CDialog {
public:
    CSampleDialog(int templateId, const char* message, unsigned type)
        : CDialog(templateId), m_message(message), m_type(type) {}

protected:
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        for (auto& item : Items()) {
            auto rows = kRows.find(item->id);
            if (rows != kRows.end() && (item->cls == DLG_CLASS_LISTBOX || item->cls == DLG_CLASS_COMBOBOX)) {
                item->rows = rows->second;
                item->curSel = item->cls == DLG_CLASS_LISTBOX && item->rows.size() > 1 ? 1 : 0;
                if (item->cls == DLG_CLASS_COMBOBOX) item->text = item->rows[0];
            }
            if (item->cls == DLG_CLASS_EDIT) item->text = (item->style & ES_MULTILINE) ? DescriptorDump() : "0";
            if (item->id == IDC_DEVICE_CHOICE) item->check = BST_CHECKED;
            if (item->id == IDC_DEVICE_ENUMERATE) item->enabled = false;  // as while the loop runs
        }
        SetTimer(1, 100);
        return true;
    }
    void OnTimer(uintptr_t) override {
        if (m_message && !m_boxShown) {
            m_boxShown = true;
            MessageBox(m_message, nullptr, m_type);
            return;
        }
        WriteLayout(*DlgModalStack().back());
    }

private:
    const char* m_message;
    unsigned m_type;
    bool m_boxShown = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, int> dialogs = {{"about", IDD_ABOUTBOX},          {"main", IDD_VOLTARIS_DIALOG},
                                                {"device", IDD_DEVICE_TEST},      {"hub", IDD_HUB_TEST},
                                                {"host", IDD_HOST_TEST},          {"ss", IDD_SS_TEST},
                                                {"message", IDD_VOLTARIS_DIALOG}, {"question", IDD_SS_TEST}};
    if (argc != 3 || !dialogs.count(argv[1])) {
        std::fprintf(stderr, "usage: dlg_screen about|main|device|hub|host|ss|message|question LAYOUT_FILE\n");
        return 2;
    }
    g_layoutFile = argv[2];
    alarm(120);  // a screen test that went away leaves nothing running for long
    InstallDialogResources();
    CTerminalSurface surface;
    if (!surface.Ok()) {
        std::fprintf(stderr, "dlg_screen: %s\n", surface.Error().c_str());
        return 1;
    }
    std::string name = argv[1];
    const char* message = name == "message"
        ? "Incorrect driver version.  Please install host driver included with this package."
        : name == "question" ? "Remove Downstream Device"
                             : nullptr;
    CSampleDialog dialog(dialogs.at(name), message, name == "question" ? MB_OKCANCEL : MB_OK);
    dialog.DoModal();
    return 0;
}
