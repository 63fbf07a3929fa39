// The terminal surface: draws each dialog from its template with curses on
// the process's terminal and takes keys and the mouse as a dialog would.
// Controls land where the layout (dlg/layout.h) puts them for the terminal's
// size; line drawing uses the terminal's own characters in a UTF-8 locale
// and the alternate character set elsewhere. The terminal is restored when the surface
// goes, and also when the process dies of a crash signal.
#pragma once

#include "dlg/surface.h"

#include <string>
#include <vector>

struct screen;

class CTerminalSurface : public CDlgSurface {
public:
    // Opens the terminal on stdin and stdout and installs itself as the
    // surface; Ok() is false (with Error()) when that cannot be done.
    CTerminalSurface();
    ~CTerminalSurface() override;
    CTerminalSurface(const CTerminalSurface&) = delete;
    CTerminalSurface& operator=(const CTerminalSurface&) = delete;

    bool Ok() const { return m_screen != nullptr; }
    const std::string& Error() const { return m_error; }

    // Ends every modal loop as if cancelled, when a termination signal
    // arrived or the user asked to quit.
    void RunModal(CDialog& dialog) override;
    void Repaint() override;
    uint64_t NowMs() override;

private:
    struct CView;
    void Draw();
    void HandleKey(CView& view, int key);
    void HandleMouse(CView& view);
    void MoveFocus(CView& view, bool forward);
    void MoveSelection(CView& view, int key);
    void MoveCaret(CDlgWindowState& item, int key);
    void ToggleDropDown(CView& view, CDlgWindowState& item);
    bool ScrollDropDown(CView& view, int y, int x, int step);
    void SkipEscapeSequence();
    void CopyStatus(CDialog& dialog);
    unsigned RunSystemMenu(CDialog& dialog);
    CView* ViewOf(const CDialog* dialog);

    screen* m_screen = nullptr;
    std::string m_error;
    std::string m_oldLocale;
    std::string m_notice;  // shown in the hint line's place until the next key
    std::vector<CView*> m_views;
};
