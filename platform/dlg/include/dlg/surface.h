// Surfaces show dialogs and bring the user's input to them: the terminal
// surface for people, the headless one for tests. The user's actions below
// are shared by both, so a key press and a scripted press act alike.
#pragma once

#include "dlg/dialog.h"

#include <cstdint>
#include <optional>
#include <string>

class CDlgSurface {
public:
    virtual ~CDlgSurface() = default;
    // Runs until the dialog has ended.
    virtual void RunModal(CDialog& dialog) = 0;
    // The window's contents changed and must be shown now.
    virtual void Repaint() = 0;
    // Milliseconds on the surface's clock; timers run on it.
    virtual uint64_t NowMs() = 0;
};

// Installs the surface that shows dialogs (null: none, DoModal fails).
void DlgSetSurface(CDlgSurface* surface);
CDlgSurface* DlgSurface();

// Delivers every timer tick that is due at now, for every dialog shown.
void DlgFireDueTimers(uint64_t now);
// The earliest time a timer is due, or UINT64_MAX.
uint64_t DlgNextTimerDue();

// The user's actions on a dialog. Each returns false, doing nothing, when
// the control is missing, disabled or of the wrong kind.
// Clicks a button: toggles a check box, checks a radio button (unchecking
// the others of its group) and notifies the dialog.
bool DlgUserClick(CDialog& dialog, int id);
// Selects a row of a list or combo and notifies the dialog.
bool DlgUserSelect(CDialog& dialog, int id, int row);
// Types one character into an edit or a combo's edit field, replacing the
// selection; numeric edits take digits only. '\b' deletes backwards.
// A combo's text that then names an entry chooses it (CBN_SELCHANGE).
bool DlgUserTypeChar(CDialog& dialog, int id, char c);
// Deletes the character after the caret, or the selection.
bool DlgUserDeleteChar(CDialog& dialog, int id);
// The button Enter presses and the surface marks as the default: the focused
// push button, else the template's default button; 0 when there is none.
int DlgDefaultButton(CDialog& dialog, int focusedId);
// The Enter key: presses the focused push button, else the default button.
bool DlgUserEnter(CDialog& dialog, int focusedId);
// The cancel command (Escape).
void DlgUserCancel(CDialog& dialog);
// The copy key: the text of the dialog's status window (its first read-only
// multi-line edit) with plain line ends; nothing when it has none.
std::optional<std::string> DlgStatusText(CDialog& dialog);
// F1: the system menu's own first entry (the About box); false when it has none.
bool DlgUserAboutCommand(CDialog& dialog);
// Chooses a system menu command.
bool DlgUserSysCommand(CDialog& dialog, unsigned command);
