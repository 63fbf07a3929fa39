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

namespace {

// Each control's extent in template units and the cells it needs. One-line
// controls sit on the row through their middle (a combo's on its edit field);
// middles close together share a row.
std::vector<CSpan> MeasureSpans(const std::vector<CDlgLayoutItem>& items, int roomCols) {
    std::vector<CSpan> spans(items.size());
    std::vector<double> middles;
    for (size_t i = 0; i < items.size(); ++i) {
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
    return spans;
}

// The smallest group box around a control's top left corner, or -1.
int SmallestGroupAround(const std::vector<CSpan>& spans, const CSpan& s) {
    int container = -1;
    double best = 0;
    for (size_t g = 0; g < spans.size(); ++g) {
        const CSpan& box = spans[g];
        if (!box.group || s.x0 < box.x0 || s.x0 >= box.x1 || s.y0 < box.y0 || s.y0 >= box.y1) continue;
        double area = (box.x1 - box.x0) * (box.y1 - box.y0);
        if (container < 0 || area < best) {
            container = static_cast<int>(g);
            best = area;
        }
    }
    return container;
}

// Each control lies in the smallest group box around its top left corner,
// and is cut to it (labels are often drawn wider than their text).
void PutIntoGroups(std::vector<CSpan>& spans) {
    for (CSpan& s : spans) {
        if (s.group) continue;
        s.container = SmallestGroupAround(spans, s);
        if (s.container < 0) continue;
        const CSpan& box = spans[static_cast<size_t>(s.container)];
        s.x1 = std::max(s.x0 + 0.5, std::min(s.x1, box.x1 - 1));
        if (s.x0 == box.x0) s.x0 += 0.25;
        if (!s.oneLine) s.y1 = std::max(s.y0 + 0.5, std::min(s.y1, box.y1 - 1));
        if (s.y0 == box.y0) s.y0 += 0.25;
    }
}

// The start and end variable of each control on one axis.
using CEdges = std::vector<std::pair<int, int>>;

// Builds one axis: starts and ends of every control, the cells each needs,
// the margins inside group boxes and between neighbours.
class CAxisBuilder {
public:
    CAxisBuilder(CAxis& axis, bool horizontal, const std::vector<CDlgLayoutItem>& items,
                 const std::vector<CSpan>& spans)
        : m_axis(axis), m_horizontal(horizontal), m_pad(horizontal ? 2 : 1), m_items(items), m_spans(spans) {}

    CEdges Build(const CDlgTemplate& dialog, int& lastVar) {
        const size_t n = m_spans.size();
        double extent = std::clamp<double>(m_horizontal ? dialog.cx : dialog.cy, 1, kMaxUnits);
        int first = m_axis.Var(0, false);
        lastVar = m_axis.Var(extent, true);
        const int margin = m_horizontal ? 1 : 0;
        m_vars.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const CSpan& s = m_spans[i];
            m_vars[i] = m_horizontal ? std::make_pair(m_axis.Var(s.x0, false), m_axis.Var(s.x1, true))
                                     : std::make_pair(m_axis.Var(s.y0, false), m_axis.Var(s.y1, true));
            m_axis.AtLeast(m_vars[i].first, m_vars[i].second, m_horizontal ? s.needCols : s.needRows);
            m_axis.AtLeast(first, m_vars[i].first, margin);
            m_axis.AtLeast(m_vars[i].second, lastVar, margin);
        }
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j < n; ++j) {
                if (i == j) continue;
                if (m_spans[i].group && Contains(i, j)) KeepInsideGroup(i, j);
                else if (i < j && !Contains(j, i)) KeepApart(i, j);
            }
        }
        return std::move(m_vars);
    }

private:
    bool Contains(size_t g, size_t i) const { return m_spans[i].container == static_cast<int>(g); }

    void KeepInsideGroup(size_t g, size_t i) {
        m_axis.AtLeast(m_vars[g].first, m_vars[i].first, m_pad);
        m_axis.AtLeast(m_vars[i].second, m_vars[g].second, m_pad);
        if (SticksToGroupEnd(g, i)) m_axis.AtLeast(m_vars[g].second, m_vars[i].second, -m_pad);
    }

    // A list or multi-line edit near the far edge of its group box, with
    // nothing of the group beyond it, keeps to that edge.
    bool SticksToGroupEnd(size_t g, size_t i) const {
        const CSpan &box = m_spans[g], &b = m_spans[i];
        bool near = (m_horizontal ? box.x1 - b.x1 : box.y1 - b.y1) <= kStickUnits;
        bool stretches = m_items[i].cls == DLG_CLASS_LISTBOX || (m_items[i].cls == DLG_CLASS_EDIT && !b.oneLine);
        if (!near || !stretches) return false;
        for (size_t k = 0; k < m_spans.size(); ++k) {
            const CSpan& o = m_spans[k];
            if (k == i || o.container != static_cast<int>(g)) continue;
            bool beyond = m_horizontal ? Overlap(o.y0, o.y1, b.y0, b.y1) && o.x1 > b.x1
                                       : Overlap(o.x0, o.x1, b.x0, b.x1) && o.y1 > b.y1;
            if (beyond) return false;
        }
        return true;
    }

    // Neighbours on shared rows keep apart across; stacked ones down.
    // Controls drawn over each other part the way they overlap least.
    void KeepApart(size_t i, size_t j) {
        const CSpan &a = m_spans[i], &b = m_spans[j];
        bool xs = Overlap(a.x0, a.x1, b.x0, b.x1), ys = Overlap(a.y0, a.y1, b.y0, b.y1);
        bool across = ys &&
            (!xs || std::min(a.x1, b.x1) - std::max(a.x0, b.x0) < (std::min(a.y1, b.y1) - std::max(a.y0, b.y0)) * 2);
        bool down = xs && !across;
        if (m_horizontal && across) {
            bool aFirst = a.x0 < b.x0 || (a.x0 == b.x0 && a.x1 <= b.x1);
            auto [left, right] = aFirst ? std::make_pair(i, j) : std::make_pair(j, i);
            // Two blanks after a text, so a label does not run into the next control.
            m_axis.AtLeast(m_vars[left].second, m_vars[right].first,
                           EndsInText(m_items[left]) && !m_spans[right].group ? 2 : 1);
        } else if (!m_horizontal && down) {
            bool aFirst = a.y0 < b.y0 || (a.y0 == b.y0 && a.y1 <= b.y1);
            auto [upper, lower] = aFirst ? std::make_pair(i, j) : std::make_pair(j, i);
            m_axis.AtLeast(m_vars[upper].second, m_vars[lower].first, 0);
        }
    }

    CAxis& m_axis;
    const bool m_horizontal;
    const int m_pad;
    const std::vector<CDlgLayoutItem>& m_items;
    const std::vector<CSpan>& m_spans;
    CEdges m_vars;
};

// Dialogs grow for their lists and status windows; one without any
// (a message box, say) keeps its size.
double GrowthLimit(const std::vector<CDlgLayoutItem>& items) {
    for (const auto& item : items)
        if (item.cls == DLG_CLASS_LISTBOX || (item.cls == DLG_CLASS_EDIT && (item.style & ES_MULTILINE)))
            return kMaxGrowth;
    return 1.0;
}

// A combo's field is as wide as its longest entry where the screen has
// room; on a narrow screen the fields give up cells (their open lists
// still show every entry whole) before the dialog stops fitting.
void NarrowCombosToFit(const CDlgTemplate& dialog, const std::vector<CDlgLayoutItem>& items, std::vector<CSpan>& spans,
                       int roomCols) {
    const size_t n = items.size();
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
        CAxisBuilder(axis, true, items, spans).Build(dialog, last);
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
}

// One axis laid out in cells: the largest scale up to maxScale that fits room.
struct CSolvedAxis {
    CAxis axis;
    CEdges edges;
    int last = 0;
    bool fits = true;
    std::vector<int> cells;

    int Start(size_t i) const { return cells[static_cast<size_t>(edges[i].first)]; }
    int Extent(size_t i) const { return cells[static_cast<size_t>(edges[i].second)] - Start(i); }
    int Total() const { return cells[static_cast<size_t>(last)]; }
    bool Fits() const { return fits && axis.Settled(); }
};

CSolvedAxis SolveAxis(bool horizontal, const CDlgTemplate& dialog, const std::vector<CDlgLayoutItem>& items,
                      const std::vector<CSpan>& spans, int room, double maxScale) {
    CSolvedAxis out;
    out.edges = CAxisBuilder(out.axis, horizontal, items, spans).Build(dialog, out.last);
    out.cells = out.axis.Fit(out.last, room, maxScale, out.fits);
    return out;
}

// Wrapped texts need as many rows as their lines at the width they got.
void CountWrappedRows(const std::vector<CDlgLayoutItem>& items, std::vector<CSpan>& spans, const CSolvedAxis& x) {
    for (size_t i = 0; i < items.size(); ++i)
        if (spans[i].wraps)
            spans[i].needRows = static_cast<int>(DlgWrapText(DlgShownText(items[i].text), x.Extent(i)).size());
}

}  // namespace

CDlgLayout DlgLayOut(const CDlgTemplate& dialog, const std::vector<CDlgLayoutItem>& items, int cols, int lines) {
    const int roomCols = cols - 2, roomRows = lines - 2;  // inside the frame
    std::vector<CSpan> spans = MeasureSpans(items, roomCols);
    PutIntoGroups(spans);
    const double growth = GrowthLimit(items);
    NarrowCombosToFit(dialog, items, spans, roomCols);
    const CSolvedAxis x = SolveAxis(true, dialog, items, spans, roomCols, growth / kUnitsPerCol);
    CountWrappedRows(items, spans, x);
    const CSolvedAxis y = SolveAxis(false, dialog, items, spans, roomRows, growth / kUnitsPerRow);

    CDlgLayout layout;
    layout.items.resize(items.size());
    layout.fits = x.Fits() && y.Fits();
    layout.frame.cols = x.Total() + 2;
    layout.frame.rows = y.Total() + 2;
    layout.frame.col = std::max(0, (cols - layout.frame.cols) / 2);
    layout.frame.row = std::max(0, (lines - layout.frame.rows) / 2);
    for (size_t i = 0; i < items.size(); ++i) {
        CDlgCells& c = layout.items[i];
        c.col = layout.frame.col + 1 + x.Start(i);
        c.cols = x.Extent(i);
        c.row = layout.frame.row + 1 + y.Start(i);
        c.rows = spans[i].oneLine ? 1 : y.Extent(i);
    }
    return layout;
}
