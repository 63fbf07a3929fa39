// Where a dialog's controls land on a terminal. Templates place controls in
// dialog units sized for a proportional font; a terminal cell is as wide as
// an average character, so a plain scaling cuts texts and runs controls into
// each other. The layout keeps the template's arrangement (the order of every
// left, right, top and bottom edge) and moves edges apart where a text needs
// more cells, then scales the result up to the room the screen gives.
//
// What the layout guarantees, when the screen is large enough (Fits()):
// - every caption, label, button text and check or radio text has its cells;
// - no control shares a cell with another control or a group box frame;
//   controls inside a group box lie inside its frame;
// - one-line controls (labels, buttons, check and radio boxes, single-line
//   edits, the field of a combo box) are one row high; lists, multi-line
//   edits and group boxes grow with the screen.
#pragma once

#include "dlg/resources.h"

#include <memory>
#include <string>
#include <vector>

struct CDlgWindowState;
class CDialog;

// A rectangle of character cells.
struct CDlgCells {
    int row = 0;
    int col = 0;
    int rows = 1;
    int cols = 1;
    bool Contains(int y, int x) const { return y >= row && y < row + rows && x >= col && x < col + cols; }
    bool Overlaps(const CDlgCells& o) const {
        return row < o.row + o.rows && o.row < row + rows && col < o.col + o.cols && o.col < col + cols;
    }
};

// What the layout needs to know of a control.
struct CDlgLayoutItem {
    int id = IDC_STATIC;
    EDlgClass cls = DLG_CLASS_STATIC;
    uint32_t style = 0;
    CDlgRect rect;
    std::string text;   // as the template has it ('&' marks included)
    int widestRow = 0;  // cells of a combo's longest entry: its field shows every entry whole
};

struct CDlgLayout {
    CDlgCells frame;               // the dialog with its frame, on the screen
    std::vector<CDlgCells> items;  // one per control, in template order
    bool fits = true;              // false when the screen is smaller than the least size
};

// Lays a dialog out on a screen of cols x lines cells.
CDlgLayout DlgLayOut(const CDlgTemplate& dialog, const std::vector<CDlgLayoutItem>& items, int cols, int lines);
// The same for a dialog that is shown, from its controls' live texts.
CDlgLayout DlgLayOut(CDialog& dialog, int cols, int lines);

// Where the terminal surface shows it: above the last row, which is kept for
// the hint line, where the dialog fits there.
CDlgLayout DlgLayOutAboveHint(CDialog& dialog, int cols, int lines);

// Text as shown: '&' marks a mnemonic and "&&" stands for '&'.
std::string DlgShownText(const std::string& text);
// A text as the terminal shows it: bytes that are no character of the
// locale and control characters become '?', so a text never takes more
// cells than DlgTextWidth counts.
std::string DlgPrintable(const std::string& text);
// Cells a text takes (UTF-8 aware when the locale is).
int DlgTextWidth(const std::string& text);
// The longest start of text that fits in width cells.
std::string DlgFitText(const std::string& text, int width);
// A text broken into lines of at most width cells: at line ends, else at the
// last blank before the width, else (a word longer than the line) anywhere.
std::vector<std::string> DlgWrapText(const std::string& text, int width);

// Whether a control is one row high on a terminal.
bool DlgIsOneLine(EDlgClass cls, uint32_t style, int id);
