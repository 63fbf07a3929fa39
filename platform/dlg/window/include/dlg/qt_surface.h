// The window surface: each dialog as a desktop window on Qt Widgets, with
// native controls placed from the template the way a dialog box converts
// dialog units (4 to the font's average character width, 8 to its height).
// The controls only show the dialog's state; every click, selection and key
// goes through the same user actions as on the other surfaces.
#pragma once

#include "dlg/surface.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

class CQtSurface : public CDlgSurface {
public:
    // Starts Qt on the display and installs itself as the surface. Ok() is
    // false (with Error(), one line) when no display can be opened; nothing
    // is installed then. iconName names the windows' icon in the desktop's
    // icon theme, with the program's built-in picture ":/icons/NAME.png" as
    // the fallback.
    explicit CQtSurface(const std::string& iconName = std::string());
    ~CQtSurface() override;
    CQtSurface(const CQtSurface&) = delete;
    CQtSurface& operator=(const CQtSurface&) = delete;

    bool Ok() const;
    const std::string& Error() const;

    // Ends every modal loop as if cancelled when a termination signal arrived.
    void RunModal(CDialog& dialog) override;
    void Repaint() override;
    uint64_t NowMs() override;

    // What tests see: the window of a dialog shown, the widget of one of its
    // controls, and the pixels of a dialog unit's base (average character
    // width and height of the dialogs' font).
    QWidget* WindowOf(const CDialog* dialog) const;
    QWidget* WidgetOf(const CDialog* dialog, int id) const;
    int BaseUnitX() const;
    int BaseUnitY() const;

    // Test scripts: each step runs when a modal loop waits and returns false
    // to be asked again on the next turn (waiting for a timer, say). When the
    // script runs out while a dialog waits, or a step keeps saying false for
    // 10 s, the dialog is cancelled and the fault noted in ScriptErrors().
    // Without a script the loops wait for the user.
    using Step = std::function<bool()>;
    void Script(std::vector<Step> steps);
    const std::vector<std::string>& ScriptErrors() const;

private:
    struct CImpl;
    std::unique_ptr<CImpl> m;
};
