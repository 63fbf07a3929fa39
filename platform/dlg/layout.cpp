#include "dlg/layout.h"

#include "dlg/window.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwchar>
#include <map>
#include <utility>

namespace {

constexpr double kUnitsPerCol = 4.0;
constexpr double kUnitsPerRow = 8.0;
// A dialog grows to at most twice its size at 4 units a column, 8 a row.
constexpr double kMaxGrowth = 2.0;
// One-line controls whose middles lie this close (in units) share a row.
constexpr double kSameRowUnits = 4.5;
// Lists and multi-line edits this close (in units) to an edge of their group
// box keep to that edge when a caption widens the box.
constexpr double kStickUnits = 8.0;
constexpr int kMaxUnits = 100000;

// The bytes and cells of the longest start of text within width cells.
std::pair<size_t, int> FittingPrefix(const std::string& text, int width) {
    std::mbstate_t state{};
    size_t i = 0;
    int cells = 0;
    while (i < text.size()) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        int w = 1;
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
            n = 1;  // not a character of the locale: shown as one '?' a byte
            state = {};
        } else {
            w = wcwidth(wc);
            if (w < 0) w = 1;  // a control character: shown as '?'
        }
        if (cells + w > width) break;
        cells += w;
        i += n;
    }
    return {i, cells};
}

// The edges of one axis: each distinct (position, start or end) in template
// units is one variable, a cell index. Constraints say that one variable lies
// at least so many cells after another.
class CAxis {
public:
    int Var(double coord, bool end) {
        auto key = std::make_pair(coord, end ? 0 : 1);  // at one position, ends come before starts
        auto found = m_vars.find(key);
        if (found != m_vars.end()) return found->second;
        int index = static_cast<int>(m_coords.size());
        m_vars.emplace(key, index);
        m_coords.push_back(coord);
        return index;
    }
    void AtLeast(int from, int to, int cells) { m_constraints.push_back({from, to, cells}); }

    // The cells of every edge at a scale (cells a unit): the scaled position,
    // pushed on where a constraint asks for more.
    // Constraints that contradict each other (controls the template puts on
    // the same spot) never settle; Settled() is then false.
    std::vector<int> Solve(double scale) const {
        std::vector<int> value(m_coords.size());
        for (size_t i = 0; i < m_coords.size(); ++i) value[i] = static_cast<int>(std::lround(m_coords[i] * scale));
        std::vector<SConstraint> all = m_constraints;
        int previous = -1;
        for (const auto& [key, index] : m_vars) {  // keep the template's order of edges
            if (previous >= 0) all.push_back({previous, index, 0});
            previous = index;
        }
        for (size_t pass = 0; pass <= m_coords.size(); ++pass) {
            bool changed = false;
            for (const auto& c : all) {
                int wanted = value[static_cast<size_t>(c.from)] + c.cells;
                if (value[static_cast<size_t>(c.to)] < wanted) {
                    value[static_cast<size_t>(c.to)] = wanted;
                    changed = true;
                }
            }
            if (!changed) return value;
        }
        m_unsettled = true;
        return value;
    }
    bool Settled() const { return !m_unsettled; }

    // The largest scale up to maxScale at which the edge last ends within
    // room cells; false (and scale 0) when not even the least layout fits.
    std::vector<int> Fit(int last, int room, double maxScale, bool& fits) const {
        std::vector<int> least = Solve(0.0);
        fits = least[static_cast<size_t>(last)] <= room;
        if (!fits) return least;
        std::vector<int> best = Solve(maxScale);
        if (best[static_cast<size_t>(last)] <= room) return best;
        double lo = 0.0, hi = maxScale;
        best = least;
        for (int step = 0; step < 24; ++step) {
            double mid = (lo + hi) / 2;
            std::vector<int> value = Solve(mid);
            if (value[static_cast<size_t>(last)] <= room) {
                lo = mid;
                best = std::move(value);
            } else {
                hi = mid;
            }
        }
        return best;
    }

private:
    struct SConstraint {
        int from;
        int to;
        int cells;
    };
    std::map<std::pair<double, int>, int> m_vars;
    std::vector<double> m_coords;
    std::vector<SConstraint> m_constraints;
    mutable bool m_unsettled = false;
};

// A control's extent on both axes in template units, after the adjustments
// below, and the cells it needs.
struct CSpan {
    double x0, x1, y0, y1;
    int needCols = 1;
    int needRows = 1;
    bool group = false;
    bool oneLine = true;
    bool wraps = false;
    int container = -1;  // the group box it lies in
};

bool IsGroup(const CDlgLayoutItem& item) {
    return item.cls == DLG_CLASS_BUTTON && (item.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Wraps(const CDlgLayoutItem& item) {
    return item.cls == DLG_CLASS_STATIC && (item.id == DLG_IDC_MESSAGE_TEXT || item.rect.cy >= 16);
}

int NeedCols(const CDlgLayoutItem& item, int maxText) {
    int text = DlgTextWidth(DlgShownText(item.text));
    switch (item.cls) {
        case DLG_CLASS_STATIC: return std::max(1, Wraps(item) ? std::min(text, maxText) : text);
        case DLG_CLASS_BUTTON:
            switch (item.style & BS_TYPEMASK) {
                case BS_GROUPBOX: return text > 0 ? text + 4 : 2;
                case BS_AUTOCHECKBOX:
                case BS_AUTORADIOBUTTON: return text + 4;
                default: return text + 2;
            }
        case DLG_CLASS_LISTBOX: return 6;
        case DLG_CLASS_COMBOBOX: return std::max(8, item.widestRow + 4);  // a blank before "[v]"
        case DLG_CLASS_EDIT: return (item.style & ES_MULTILINE) ? 8 : 3;
    }
    return 1;
}

// Labels and check and radio boxes end in their text.
bool EndsInText(const CDlgLayoutItem& item) {
    uint32_t kind = item.style & BS_TYPEMASK;
    return item.cls == DLG_CLASS_STATIC ||
           (item.cls == DLG_CLASS_BUTTON && (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON));
}

bool Overlap(double a0, double a1, double b0, double b1) { return a0 < b1 && b0 < a1; }

}  // namespace

std::string DlgShownText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        if (text[i] != '\r') out += text[i];
    }
    return out;
}

std::string DlgPrintable(const std::string& text) {
    std::string out;
    std::mbstate_t state{};
    for (size_t i = 0; i < text.size();) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
            out += '?';
            state = {};
            ++i;
        } else {
            if (wcwidth(wc) < 0) out += '?';
            else out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

int DlgTextWidth(const std::string& text) { return FittingPrefix(text, INT_MAX).second; }

std::string DlgFitText(const std::string& text, int width) {
    return text.substr(0, FittingPrefix(text, std::max(0, width)).first);
}

std::vector<std::string> DlgWrapText(const std::string& text, int width) {
    width = std::max(1, width);
    std::vector<std::string> lines;
    auto wrap = [&](std::string line) {
        while (DlgTextWidth(line) > width) {
            size_t cut = FittingPrefix(line, width).first;
            size_t blank = line.rfind(' ', cut);
            if (blank != std::string::npos && blank > 0) {
                lines.push_back(line.substr(0, blank));
                line.erase(0, blank + 1);
            } else {
                if (cut == 0) cut = 1;  // a character wider than the line
                lines.push_back(line.substr(0, cut));
                line.erase(0, cut);
            }
        }
        lines.push_back(line);
    };
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            wrap(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty() || lines.empty()) wrap(line);
    return lines;
}

bool DlgIsOneLine(EDlgClass cls, uint32_t style, int id) {
    switch (cls) {
        case DLG_CLASS_STATIC: return id != DLG_IDC_MESSAGE_TEXT;
        case DLG_CLASS_BUTTON: return (style & BS_TYPEMASK) != BS_GROUPBOX;
        case DLG_CLASS_EDIT: return !(style & ES_MULTILINE);
        case DLG_CLASS_COMBOBOX: return true;
        case DLG_CLASS_LISTBOX: return false;
    }
    return true;
}

CDlgLayout DlgLayOut(const CDlgTemplate& dialog, const std::vector<CDlgLayoutItem>& items, int cols, int lines) {
    const size_t n = items.size();
    const int roomCols = cols - 2, roomRows = lines - 2;  // inside the frame
    std::vector<CSpan> spans(n);

    // One-line controls sit on the row through their middle (a combo's on its
    // edit field); middles close together share a row.
    std::vector<double> middles;
    for (size_t i = 0; i < n; ++i) {
        const CDlgLayoutItem& item = items[i];
        CSpan& s = spans[i];
        s.group = IsGroup(item);
        s.wraps = Wraps(item);
        s.oneLine = !s.wraps && DlgIsOneLine(item.cls, item.style, item.id);
        // Templates are far smaller than this; the bound keeps cell sums in range.
        auto bounded = [](int v, int lo) { return std::clamp<double>(v, lo, kMaxUnits); };
        double x = bounded(item.rect.x, -kMaxUnits), y = bounded(item.rect.y, -kMaxUnits);
        double cx = bounded(item.rect.cx, 1), cy = bounded(item.rect.cy, 1);
        s.x0 = x;
        s.x1 = x + cx;
        s.y0 = y;
        s.y1 = y + cy;
        if (s.oneLine) {
            double middle = y + std::min(cy, 14.0) / 2.0;
            for (double m : middles)
                if (std::fabs(m - middle) <= kSameRowUnits) middle = m;
            middles.push_back(middle);
            s.y0 = middle - kUnitsPerRow / 2;
            s.y1 = middle + kUnitsPerRow / 2;
        }
        s.needCols = NeedCols(item, roomCols - 4);
        s.needRows = s.oneLine ? 1 : (item.cls == DLG_CLASS_LISTBOX || item.cls == DLG_CLASS_EDIT) ? 3 : 2;
    }
    // Each control lies in the smallest group box around its top left corner,
    // and is cut to it (labels are often drawn wider than their text).
    for (size_t i = 0; i < n; ++i) {
        CSpan& s = spans[i];
        if (s.group) continue;
        double best = 0;
        for (size_t g = 0; g < n; ++g) {
            const CSpan& box = spans[g];
            if (!box.group || s.x0 < box.x0 || s.x0 >= box.x1 || s.y0 < box.y0 || s.y0 >= box.y1) continue;
            double area = (box.x1 - box.x0) * (box.y1 - box.y0);
            if (s.container < 0 || area < best) {
                s.container = static_cast<int>(g);
                best = area;
            }
        }
        if (s.container < 0) continue;
        const CSpan& box = spans[static_cast<size_t>(s.container)];
        s.x1 = std::max(s.x0 + 0.5, std::min(s.x1, box.x1 - 1));
        if (s.x0 == box.x0) s.x0 += 0.25;
        if (!s.oneLine) s.y1 = std::max(s.y0 + 0.5, std::min(s.y1, box.y1 - 1));
        if (s.y0 == box.y0) s.y0 += 0.25;
    }

    auto contains = [&](size_t g, size_t i) { return spans[i].container == static_cast<int>(g); };
    // Builds one axis: starts and ends of every control, the cells each needs,
    // the margins inside group boxes and between neighbours.
    auto build = [&](CAxis& axis, bool horizontal, int& lastVar) {
        double extent = std::clamp<double>(horizontal ? dialog.cx : dialog.cy, 1, kMaxUnits);
        int first = axis.Var(0, false);
        lastVar = axis.Var(extent, true);
        const int margin = horizontal ? 1 : 0, pad = horizontal ? 2 : 1;
        std::vector<std::pair<int, int>> vars(n);
        for (size_t i = 0; i < n; ++i) {
            const CSpan& s = spans[i];
            vars[i] = horizontal ? std::make_pair(axis.Var(s.x0, false), axis.Var(s.x1, true))
                                 : std::make_pair(axis.Var(s.y0, false), axis.Var(s.y1, true));
            axis.AtLeast(vars[i].first, vars[i].second, horizontal ? s.needCols : s.needRows);
            axis.AtLeast(first, vars[i].first, margin);
            axis.AtLeast(vars[i].second, lastVar, margin);
        }
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j < n; ++j) {
                if (i == j) continue;
                const CSpan &a = spans[i], &b = spans[j];
                if (a.group && contains(i, j)) {
                    axis.AtLeast(vars[i].first, vars[j].first, pad);
                    axis.AtLeast(vars[j].second, vars[i].second, pad);
                    bool sticks = (horizontal ? a.x1 - b.x1 : a.y1 - b.y1) <= kStickUnits &&
                                  (items[j].cls == DLG_CLASS_LISTBOX || (items[j].cls == DLG_CLASS_EDIT && !b.oneLine));
                    for (size_t k = 0; k < n && sticks; ++k) {  // nothing of the group lies beyond it
                        const CSpan& o = spans[k];
                        if (k == j || o.container != static_cast<int>(i)) continue;
                        sticks = horizontal ? !(Overlap(o.y0, o.y1, b.y0, b.y1) && o.x1 > b.x1)
                                            : !(Overlap(o.x0, o.x1, b.x0, b.x1) && o.y1 > b.y1);
                    }
                    if (sticks) axis.AtLeast(vars[i].second, vars[j].second, -pad);
                    continue;
                }
                if (i > j || contains(j, i)) continue;
                bool xs = Overlap(a.x0, a.x1, b.x0, b.x1), ys = Overlap(a.y0, a.y1, b.y0, b.y1);
                // Neighbours on shared rows keep apart across; stacked ones
                // down. Controls drawn over each other part the way they
                // overlap least.
                bool across = ys && (!xs || std::min(a.x1, b.x1) - std::max(a.x0, b.x0) <
                                                (std::min(a.y1, b.y1) - std::max(a.y0, b.y0)) * 2);
                bool down = xs && !across;
                if (horizontal && across) {
                    bool aFirst = a.x0 < b.x0 || (a.x0 == b.x0 && a.x1 <= b.x1);
                    auto [left, right] = aFirst ? std::make_pair(i, j) : std::make_pair(j, i);
                    // Two blanks after a text, so a label does not run into the next control.
                    axis.AtLeast(vars[left].second, vars[right].first, EndsInText(items[left]) && !spans[right].group ? 2 : 1);
                } else if (!horizontal && down) {
                    bool aFirst = a.y0 < b.y0 || (a.y0 == b.y0 && a.y1 <= b.y1);
                    auto [upper, lower] = aFirst ? std::make_pair(i, j) : std::make_pair(j, i);
                    axis.AtLeast(vars[upper].second, vars[lower].first, 0);
                }
            }
        }
        return vars;
    };

    // Dialogs grow for their lists and status windows; one without any
    // (a message box, say) keeps its size.
    double growth = 1.0;
    for (const auto& item : items)
        if (item.cls == DLG_CLASS_LISTBOX || (item.cls == DLG_CLASS_EDIT && (item.style & ES_MULTILINE))) growth = kMaxGrowth;

    CDlgLayout layout;
    layout.items.resize(n);
    // A combo's field is as wide as its longest entry where the screen has
    // room; on a narrow screen the fields give up cells (their open lists
    // still show every entry whole) before the dialog stops fitting.
    std::vector<int> fullCols(n);
    int widestCombo = 0;
    for (size_t i = 0; i < n; ++i) {
        fullCols[i] = spans[i].needCols;
        if (items[i].cls == DLG_CLASS_COMBOBOX) widestCombo = std::max(widestCombo, spans[i].needCols);
    }
    auto capCombos = [&](int cap) {
        for (size_t i = 0; i < n; ++i)
            if (items[i].cls == DLG_CLASS_COMBOBOX) spans[i].needCols = std::min(fullCols[i], std::max(8, cap));
    };
    auto leastFits = [&](int cap) {
        capCombos(cap);
        CAxis axis;
        int last = 0;
        build(axis, true, last);
        return axis.Solve(0.0)[static_cast<size_t>(last)] <= roomCols;
    };
    if (widestCombo > 8 && !leastFits(widestCombo)) {
        int lo = 8, hi = widestCombo;  // lo: the cap tried last that may fit, hi: one that does not
        while (hi - lo > 1) {
            int mid = (lo + hi) / 2;
            (leastFits(mid) ? lo : hi) = mid;
        }
        capCombos(lo);
    } else {
        capCombos(widestCombo);
    }
    CAxis xAxis;
    int xLast = 0;
    auto xVars = build(xAxis, true, xLast);
    bool xFits = true;
    std::vector<int> x = xAxis.Fit(xLast, roomCols, growth / kUnitsPerCol, xFits);

    // Wrapped texts need as many rows as their lines at the width they got.
    for (size_t i = 0; i < n; ++i) {
        if (!spans[i].wraps) continue;
        int width = x[static_cast<size_t>(xVars[i].second)] - x[static_cast<size_t>(xVars[i].first)];
        spans[i].needRows = static_cast<int>(DlgWrapText(DlgShownText(items[i].text), width).size());
    }
    CAxis yAxis;
    int yLast = 0;
    auto yVars = build(yAxis, false, yLast);
    bool yFits = true;
    std::vector<int> y = yAxis.Fit(yLast, roomRows, growth / kUnitsPerRow, yFits);

    layout.fits = xFits && yFits && xAxis.Settled() && yAxis.Settled();
    layout.frame.cols = x[static_cast<size_t>(xLast)] + 2;
    layout.frame.rows = y[static_cast<size_t>(yLast)] + 2;
    layout.frame.col = std::max(0, (cols - layout.frame.cols) / 2);
    layout.frame.row = std::max(0, (lines - layout.frame.rows) / 2);
    for (size_t i = 0; i < n; ++i) {
        CDlgCells& c = layout.items[i];
        c.col = layout.frame.col + 1 + x[static_cast<size_t>(xVars[i].first)];
        c.cols = x[static_cast<size_t>(xVars[i].second)] - x[static_cast<size_t>(xVars[i].first)];
        c.row = layout.frame.row + 1 + y[static_cast<size_t>(yVars[i].first)];
        c.rows = spans[i].oneLine ? 1 : y[static_cast<size_t>(yVars[i].second)] - y[static_cast<size_t>(yVars[i].first)];
    }
    return layout;
}
