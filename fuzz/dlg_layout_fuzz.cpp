// Fuzzes the terminal layout and the text measuring it rests on. Texts come
// from outside (host IDs, device rows, message texts): whatever their bytes,
// a shown text must take exactly the cells counted for it, wrapped lines must
// fit their width, and a cut text must be a start of the text. Dialogs built
// from the input must lay out without a crash or a hang, and a layout that
// fits must keep every control inside the dialog.
#include "dlg/layout.h"
#include "dlg/window.h"

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void CheckText(const std::string& text, int width) {
    std::string printable = DlgPrintable(text);
    if (DlgTextWidth(printable) != DlgTextWidth(text)) std::abort();
    for (unsigned char c : printable)
        if (c < 0x20 || c == 0x7f) std::abort();
    std::string cut = DlgFitText(text, width);
    if (text.compare(0, cut.size(), cut) != 0 || DlgTextWidth(cut) > std::max(0, width)) std::abort();
    for (const std::string& line : DlgWrapText(text, width))
        if (DlgTextWidth(line) > std::max(1, width) && DlgFitText(line, 2) != line) std::abort();
}

struct CReader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    int Byte() { return at < size ? data[at++] : 0; }
    int Short() { return static_cast<int16_t>(Byte() | (Byte() << 8)); }
    std::string Text() {
        size_t length = static_cast<size_t>(Byte() % 48);
        std::string text;
        while (length-- > 0 && at < size) text += static_cast<char>(data[at++]);
        return text;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReader in{data, size};
    int width = in.Byte() - 8;
    CheckText(std::string(reinterpret_cast<const char*>(data), size), width);

    const EDlgClass classes[] = {DLG_CLASS_BUTTON, DLG_CLASS_EDIT, DLG_CLASS_STATIC, DLG_CLASS_LISTBOX,
                                 DLG_CLASS_COMBOBOX};
    const uint32_t styles[] = {
        BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX, BS_AUTORADIOBUTTON, ES_MULTILINE, 0};
    CDlgTemplate dialog{};
    dialog.cx = in.Short();
    dialog.cy = in.Short();
    int cols = in.Byte() + 1, lines = in.Byte() / 2 + 1;
    std::vector<CDlgLayoutItem> items(static_cast<size_t>(in.Byte() % 24));
    for (auto& item : items) {
        int kind = in.Byte();
        item.cls = classes[kind % 5];
        item.style = styles[(kind / 5) % 7];
        item.id = (kind & 0x80) ? DLG_IDC_MESSAGE_TEXT : in.Byte();
        item.rect = {in.Short(), in.Short(), in.Short(), in.Short()};
        item.widestRow = in.Byte();
        item.text = in.Text();
    }
    CDlgLayout layout = DlgLayOut(dialog, items, cols, lines);
    if (layout.items.size() != items.size()) std::abort();
    if (!layout.fits) return 0;
    const CDlgCells& f = layout.frame;
    if (f.col < 0 || f.row < 0 || f.col + f.cols > cols || f.row + f.rows > lines) std::abort();
    for (const CDlgCells& c : layout.items)
        if (c.col <= f.col || c.row <= f.row || c.col + c.cols >= f.col + f.cols || c.row + c.rows >= f.row + f.rows ||
            c.cols < 1 || c.rows < 1)
            std::abort();
    return 0;
}
