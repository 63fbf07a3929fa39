// A surface without a screen, for tests: a scripted user works on the top
// dialog. Each step of the script runs when a modal loop waits for input;
// a step that opens a dialog (a press of TEST, say) runs the next steps inside
// it. When the script runs out while a dialog waits, the dialog is cancelled
// and the fault is noted in Errors(), so a test never hangs.
#pragma once

#include "dlg/surface.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class CHeadlessUser : public CDlgSurface {
public:
    using Step = std::function<void()>;

    // Installs itself as the surface; the destructor removes it.
    CHeadlessUser();
    ~CHeadlessUser() override;

    void Script(std::vector<Step> steps);
    bool ScriptDone() const { return m_steps.empty(); }
    const std::vector<std::string>& Errors() const { return m_errors; }

    // Actions on the top dialog; false when the control is missing, disabled
    // or not of that kind (the control is then left alone).
    bool Press(int id);
    bool Select(int id, int row);
    // Types text into an edit or a combo's edit field, one character at a
    // time, starting over the current selection.
    bool Type(int id, const std::string& text);
    bool SelectText(int id, size_t start, size_t end);
    bool Enter();
    void Cancel();
    bool SystemCommand(unsigned command);
    // Moves the clock on, delivering every timer tick on the way.
    void Advance(uint64_t ms);

    // What the user sees of the top dialog.
    CDialog* Top() const;
    int TemplateId() const;
    size_t Depth() const;  // dialogs shown
    std::string Caption() const;
    bool Exists(int id) const;
    std::string Text(int id) const;
    std::vector<std::string> Rows(int id) const;
    int Selection(int id) const;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    // The system menu's items as shown ("-" for a separator).
    std::vector<std::string> SystemMenu() const;
    // The text of the message box on top; empty when none is.
    std::string MessageText() const;
    int Repaints() const { return m_repaints; }

    void RunModal(CDialog& dialog) override;
    void Repaint() override { ++m_repaints; }
    uint64_t NowMs() override { return m_now; }

private:
    CDlgWindowState* Item(int id) const;

    std::deque<Step> m_steps;
    std::vector<std::string> m_errors;
    uint64_t m_now = 0;
    int m_repaints = 0;
};
