#include "dlg/qt_surface.h"

#include "dlg/dialog.h"
#include "os/signals.h"
#include "os/window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <deque>

namespace {

constexpr int kMaxWaitMs = 50;
constexpr uint64_t kStepPatienceMs = 10000;
constexpr const char* kItemProperty = "dlgItem";

// Text as a label shows it: '&' marks a mnemonic and "&&" stands for '&'.
QString Shown(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        if (text[i] != '\r') out += text[i];
    }
    return QString::fromStdString(out);
}

// A multi-line edit shows "\r\n" and "\n" as line ends.
QString EditLines(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return QString::fromStdString(out);
}

bool IsPushButton(const CDlgWindowState& s) {
    return s.IsButtonKind(BS_PUSHBUTTON) || s.IsButtonKind(BS_DEFPUSHBUTTON);
}

bool HasEditField(const CDlgWindowState& s) {
    return s.cls == DLG_CLASS_COMBOBOX || (s.cls == DLG_CLASS_EDIT && !(s.style & ES_MULTILINE));
}

// The messages Qt prints while it looks for a display; the last one says why
// none could be used.
std::vector<std::string>* g_startMessages = nullptr;

void KeepStartMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (g_startMessages) g_startMessages->push_back(message.toStdString());
}

// A menu runs a loop of its own: a termination signal closes it too.
QAction* ExecMenu(QMenu& menu, QPoint at) {
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &menu, [&menu] {
        if (OSTerminationSignal() != 0) menu.close();
    });
    watch.start(kMaxWaitMs);
    return menu.exec(at);
}

// A list's rows; one cut at the list's edge has its whole text as a tooltip.
void FillList(QListWidget& list, const std::vector<std::string>& rows) {
    list.clear();
    QFontMetrics metrics(list.font());
    const int room = list.width() - 2 * list.frameWidth() - list.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (const auto& row : rows) {
        auto* item = new QListWidgetItem(QString::fromStdString(row), &list);
        if (metrics.horizontalAdvance(item->text()) > room) item->setToolTip(item->text());
    }
}

// Check boxes and radio buttons answer to a click anywhere in their
// rectangle, as the dialog's buttons do, not only on the mark and the text.
template <typename TButton>
class CWholeButton : public TButton {
public:
    using TButton::TButton;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

// A group box as a dialog box draws it: the title sits on the frame's top
// line, so the frame starts where the template puts it and the controls
// inside keep clear of it.
class CFrameGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QFontMetrics metrics(font());
        const int line = metrics.height() / 2, indent = metrics.averageCharWidth();
        QRect frame = rect().adjusted(0, line, -1, -1);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Mid));
        painter.drawRect(frame);
        if (title().isEmpty()) return;
        QRect text(indent, 0, metrics.horizontalAdvance(title()) + indent, metrics.height());
        text = text.intersected(rect().adjusted(indent, 0, -indent, 0));
        painter.fillRect(text, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, title());
    }
};

}  // namespace

struct CQtSurface::CImpl : QObject {
    struct CControl {
        CDlgWindowState* state;
        QWidget* widget;
    };
    struct CView {
        CDialog* dialog = nullptr;
        QDialog* window = nullptr;
        std::vector<CControl> controls;
        int focus = 0;       // the control the user gave the focus, kept across actions
        double scale = 1.0;  // dialog units grown so that every text is whole
    };

    CQtSurface* surface = nullptr;
    std::unique_ptr<QApplication> app;
    int argc = 3;
    std::string argv0 = "voltaris", argv1 = "-platform", argv2;
    char* argv[4] = {};
    std::string error;
    std::vector<CView*> views;
    bool syncing = false;  // focus moves Qt makes while controls change are not the user's
    QTimer wake;
    int baseX = 6, baseY = 13;
    // The script of a test.
    bool scripted = false;
    std::deque<Step> steps;
    uint64_t stepSince = 0;
    std::vector<std::string> scriptErrors;

    bool Start(const std::string& iconName);
    CView* ViewOf(const CDialog* dialog) const {
        for (CView* view : views)
            if (view->dialog == dialog) return view;
        return nullptr;
    }
    CView* Top() const { return views.empty() ? nullptr : views.back(); }
    void Build(CView& view);
    static void KeepOnScreen(QWidget& window, const QRect& screen);
    QWidget* MakeWidget(CView& view, CDlgWindowState& state);
    // One maker for each kind of control.
    using FMaker = QWidget* (CImpl::*)(CView& view, CDlgWindowState& state);
    static FMaker MakerOf(const CDlgWindowState& state);
    QWidget* MakeButton(CView& view, CDlgWindowState& state);
    QWidget* MakeGroupBox(CView& view, CDlgWindowState& state);
    QWidget* MakeLabel(CView& view, CDlgWindowState& state);
    QWidget* MakeStatusWindow(CView& view, CDlgWindowState& state);
    QWidget* MakeEditField(CView& view, CDlgWindowState& state);
    QWidget* MakeList(CView& view, CDlgWindowState& state);
    QWidget* MakeCombo(CView& view, CDlgWindowState& state);
    static void FitComboHeight(QComboBox& combo, QRect& rect);
    QRect Pixels(const CView& view, const CDlgRect& r) const {
        const double x = baseX * view.scale / 4.0, y = baseY * view.scale / 8.0;
        return QRect(static_cast<int>(std::lround(r.x * x)), static_cast<int>(std::lround(r.y * y)),
                     static_cast<int>(std::lround(r.cx * x)), static_cast<int>(std::lround(r.cy * y)));
    }
    int TextNeed(const CDlgWindowState& state) const;
    double TextScale(CDialog& dialog) const;
    void Sync(CView& view);
    // settled: an action has ended, so the focus goes back where the user had it.
    void SyncAll(bool settled = true) {
        for (CView* view : views) Sync(*view);
        if (settled && Top()) KeepFocus(*Top());
    }
    void KeepFocus(CView& view);
    void ShowDefaultButton(CView& view);
    void NoteFocus(QObject* widget);
    // The control a widget (or the edit field inside a combo) shows.
    CDlgWindowState* StateOf(QObject* object, CView** viewOut = nullptr) const;
    int FocusedId(CView& view) const {
        CView* owner = nullptr;
        CDlgWindowState* state = StateOf(QApplication::focusWidget(), &owner);
        return state && owner == &view ? state->id : 0;
    }
    QWidget* WidgetOf(CView& view, const CDlgWindowState* state) const {
        for (const auto& c : view.controls)
            if (c.state == state) return c.widget;
        return nullptr;
    }
    void MoveFocus(CView& view, bool forward);
    void TakeSelection(CDlgWindowState& state, QWidget* widget);
    void TypeText(CView& view, CDlgWindowState& state, const QString& text);
    void EditKey(CView& view, CDlgWindowState& state, QWidget* widget, bool forward);
    bool ShowSystemMenu(CView& view, QPoint at);
    bool RunAboutCommand(CView& view);
    bool ChooseByPage(CView& view, CDlgWindowState& state, int key);
    void RaiseAll();
    void RunScriptStep(CDialog& dialog);
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool HandleKey(CView& view, QWidget* target, QKeyEvent& key);
};

bool CQtSurface::CImpl::Start(const std::string& iconName) {
    if (QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            error = "cannot open windows in a program that runs Qt without widgets";
            return false;
        }
    } else {
        // The platform asked for (QT_QPA_PLATFORM, else the display's kind),
        // with the offscreen platform behind it so that a display that cannot
        // be opened is an answer rather than an abort.
        QByteArray asked = qgetenv("QT_QPA_PLATFORM");
        if (asked.isEmpty()) asked = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb" : "wayland;xcb";
        bool offscreenAsked = asked.split(';').contains("offscreen");
        argv2 = asked.toStdString() + (offscreenAsked ? "" : ";offscreen");
        argv[0] = argv0.data();
        argv[1] = argv1.data();
        argv[2] = argv2.data();
        std::vector<std::string> messages;
        g_startMessages = &messages;
        QtMessageHandler previous = qInstallMessageHandler(KeepStartMessage);
        app = std::make_unique<QApplication>(argc, argv);
        // Qt takes the user's locale for everything; numbers the program
        // writes and reads keep the C form.
        std::setlocale(LC_NUMERIC, "C");
        qInstallMessageHandler(previous);
        g_startMessages = nullptr;
        if (!offscreenAsked && QGuiApplication::platformName() == "offscreen") {
            app.reset();
            std::string why;
            for (const auto& m : messages)
                if (m.find("display") != std::string::npos) why = m;
            error = "cannot open a window on the display" + (why.empty() ? std::string() : " (" + why + ")");
            return false;
        }
        QApplication::setQuitOnLastWindowClosed(false);
    }
    if (!iconName.empty()) {
        QString name = QString::fromStdString(iconName);
        QApplication::setWindowIcon(QIcon::fromTheme(name, QIcon(":/icons/" + name + ".png")));
        QGuiApplication::setDesktopFileName(name);
    }
    QFontMetrics metrics(QApplication::font());
    baseX = (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    baseY = metrics.height();
    wake.setSingleShot(true);
    qApp->installEventFilter(this);
    return true;
}

// A push button, check box or radio button: a click goes to the dialog on top.
QWidget* CQtSurface::CImpl::MakeButton(CView& view, CDlgWindowState& state) {
    QWidget* parent = view.window;
    CDialog* dialog = view.dialog;
    int id = state.id;
    QAbstractButton* button = nullptr;
    if (state.IsButtonKind(BS_AUTOCHECKBOX)) {
        button = new CWholeButton<QCheckBox>(parent);
    } else if (state.IsButtonKind(BS_AUTORADIOBUTTON)) {
        auto* radio = new CWholeButton<QRadioButton>(parent);
        radio->setAutoExclusive(false);  // the dialog keeps its groups
        button = radio;
    } else {
        auto* push = new QPushButton(parent);
        push->setAutoDefault(false);
        push->setDefault(state.IsButtonKind(BS_DEFPUSHBUTTON));
        button = push;
    }
    connect(button, &QAbstractButton::clicked, this, [this, dialog, id] {
        if (Top() && Top()->dialog == dialog) DlgUserClick(*dialog, id);
        SyncAll();
    });
    return button;
}

QWidget* CQtSurface::CImpl::MakeGroupBox(CView& view, CDlgWindowState&) { return new CFrameGroupBox(view.window); }

QWidget* CQtSurface::CImpl::MakeLabel(CView& view, CDlgWindowState&) {
    auto* label = new QLabel(view.window);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A multi-line edit; read-only, a status window.
QWidget* CQtSurface::CImpl::MakeStatusWindow(CView& view, CDlgWindowState& state) {
    auto* edit = new QPlainTextEdit(view.window);
    edit->setReadOnly(state.style & ES_READONLY);
    // A read-only window shows a status: it wraps at blanks rather
    // than hide the end of a line behind a scroll bar.
    bool wraps = (state.style & ES_READONLY) || !(state.style & ES_AUTOHSCROLL);
    edit->setLineWrapMode(wraps ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    edit->setTabChangesFocus(true);
    if (state.style & ES_READONLY) {
        // A status window: a click gives it the focus for Ctrl+C,
        // a right click offers Copy and Select All.
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(edit, &QWidget::customContextMenuRequested, edit, [edit](const QPoint& at) {
            QMenu menu(edit);
            menu.addAction("&Copy", edit, &QPlainTextEdit::copy)->setEnabled(edit->textCursor().hasSelection());
            menu.addAction("Select &All", edit, &QPlainTextEdit::selectAll);
            ExecMenu(menu, edit->mapToGlobal(at));
        });
    } else {
        edit->setContextMenuPolicy(Qt::NoContextMenu);
    }
    edit->setAcceptDrops(false);
    return edit;
}

QWidget* CQtSurface::CImpl::MakeEditField(CView& view, CDlgWindowState& state) {
    auto* edit = new QLineEdit(view.window);
    edit->setReadOnly(state.style & ES_READONLY);
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAcceptDrops(false);
    // Typing reaches the dialog through the key filter; whatever
    // changes the text another way is put back.
    connect(edit, &QLineEdit::textEdited, this, [this] { SyncAll(); });
    return edit;
}

QWidget* CQtSurface::CImpl::MakeList(CView& view, CDlgWindowState& state) {
    CDialog* dialog = view.dialog;
    int id = state.id;
    auto* list = new QListWidget(view.window);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A row wider than the list ends in an ellipsis; its tooltip has it whole.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideRight);
    list->setUniformItemSizes(true);
    auto* s = &state;
    connect(list, &QListWidget::currentRowChanged, this, [this, dialog, id, s](int row) {
        if (row >= 0 && row != s->curSel && Top() && Top()->dialog == dialog) DlgUserSelect(*dialog, id, row);
        SyncAll();
    });
    return list;
}

QWidget* CQtSurface::CImpl::MakeCombo(CView& view, CDlgWindowState& state) {
    CDialog* dialog = view.dialog;
    int id = state.id;
    auto* combo = new QComboBox(view.window);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    combo->lineEdit()->setAcceptDrops(false);
    combo->lineEdit()->setProperty(kItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&state)));
    connect(combo, &QComboBox::activated, this, [this, dialog, id](int row) {
        if (Top() && Top()->dialog == dialog) DlgUserSelect(*dialog, id, row);
        SyncAll();
    });
    connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this] { SyncAll(); });
    return combo;
}

// Each kind of control has its own maker.
CQtSurface::CImpl::FMaker CQtSurface::CImpl::MakerOf(const CDlgWindowState& state) {
    switch (state.cls) {
    case DLG_CLASS_BUTTON: return state.IsButtonKind(BS_GROUPBOX) ? &CImpl::MakeGroupBox : &CImpl::MakeButton;
    case DLG_CLASS_STATIC: return &CImpl::MakeLabel;
    case DLG_CLASS_EDIT: return (state.style & ES_MULTILINE) ? &CImpl::MakeStatusWindow : &CImpl::MakeEditField;
    case DLG_CLASS_LISTBOX: return &CImpl::MakeList;
    case DLG_CLASS_COMBOBOX: return &CImpl::MakeCombo;
    }
    return nullptr;
}

// A combo's template height holds its open list; the field itself is
// as tall as the font needs.
void CQtSurface::CImpl::FitComboHeight(QComboBox& combo, QRect& rect) {
    int field = combo.sizeHint().height();
    int rowHeight = std::max(1, QFontMetrics(combo.font()).height());
    combo.setMaxVisibleItems(std::max(1, (rect.height() - field) / rowHeight));
    rect.setHeight(std::max(field, std::min(rect.height(), field)));
}

QWidget* CQtSurface::CImpl::MakeWidget(CView& view, CDlgWindowState& state) {
    QWidget* widget = (this->*MakerOf(state))(view, state);
    widget->setProperty(kItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&state)));
    if (state.cls != DLG_CLASS_STATIC && !state.IsButtonKind(BS_GROUPBOX))
        widget->setFocusPolicy(state.IsTabStop() ? Qt::StrongFocus : Qt::ClickFocus);
    QRect rect = Pixels(view, state.rect);
    if (state.cls == DLG_CLASS_COMBOBOX) FitComboHeight(*static_cast<QComboBox*>(widget), rect);
    widget->setGeometry(rect);
    widget->show();
    return widget;
}

// Pixels a control needs across to show its text whole in the dialogs' font.
int CQtSurface::CImpl::TextNeed(const CDlgWindowState& state) const {
    QFontMetrics metrics(QApplication::font());
    QStyle* style = QApplication::style();
    const int margin = metrics.averageCharWidth();
    auto widest = [&](const QString& text) {
        int w = 0;
        for (const QString& line : text.split('\n')) w = std::max(w, metrics.horizontalAdvance(line));
        return w;
    };
    switch (state.cls) {
    case DLG_CLASS_STATIC: return widest(Shown(state.text)) + 1;
    case DLG_CLASS_BUTTON: {
        int text = widest(Shown(state.text));
        if (text == 0) return 0;
        if (state.IsButtonKind(BS_GROUPBOX)) return text + 4 * margin;
        if (IsPushButton(state)) return text + 2 * style->pixelMetric(QStyle::PM_ButtonMargin) + margin;
        return text + style->pixelMetric(QStyle::PM_IndicatorWidth) +
            style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + margin;
    }
    case DLG_CLASS_COMBOBOX: {
        // The field shows every entry whole, beside the arrow.
        int rows = 0;
        for (const auto& row : state.rows)
            rows = std::max(rows, metrics.horizontalAdvance(QString::fromStdString(row)));
        return rows == 0 ? 0 : rows + style->pixelMetric(QStyle::PM_ScrollBarExtent) + 3 * margin;
    }
    case DLG_CLASS_EDIT:
    case DLG_CLASS_LISTBOX: return 0;  // they scroll or wrap
    }
    return 0;
}

// Texts are measured in the font the windows use; where one does not fit its
// control, the whole dialog grows alike, so the template's proportions and
// every control's neighbours stay as they are.
double CQtSurface::CImpl::TextScale(CDialog& dialog) const {
    constexpr double kMostScale = 2.0;
    CView unit;
    double scale = 1.0;
    for (const auto& state : dialog.Items()) {
        int have = Pixels(unit, state->rect).width();
        int need = TextNeed(*state);
        if (have > 0 && need > have) scale = std::max(scale, static_cast<double>(need) / have);
    }
    return std::min(scale, kMostScale);
}

void CQtSurface::CImpl::Build(CView& view) {
    CDialog& dialog = *view.dialog;
    const CDlgTemplate* t = dialog.Template();
    CView* owner = views.empty() ? nullptr : views.back();
    view.window = new QDialog(owner ? owner->window : nullptr);
    QDialog* window = view.window;
    // The first window is the program's own, a top-level window task bars
    // list; the others are modal dialogs of their owner. No window offers a
    // maximise button: a dialog keeps its template's layout.
    Qt::WindowFlags flags = (owner ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
        (owner ? Qt::WindowFlags() : Qt::WindowMinimizeButtonHint);
    if (t->style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    window->setWindowFlags(flags);
    window->setWindowModality(owner ? Qt::ApplicationModal : Qt::NonModal);
    window->setWindowTitle(QString::fromStdString(dialog.Caption()));
    view.scale = TextScale(dialog);
    window->setFixedSize(Pixels(view, {0, 0, t->cx, t->cy}).size());
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, this, [this, d = &dialog](const QPoint& at) {
        CView* v = ViewOf(d);
        if (v && v == Top()) ShowSystemMenu(*v, v->window->mapToGlobal(at));
    });
    for (auto& state : dialog.Items()) view.controls.push_back({state.get(), MakeWidget(view, *state)});
    // Group boxes lie under the controls they frame.
    for (auto& c : view.controls)
        if (c.state->IsButtonKind(BS_GROUPBOX)) c.widget->lower();
    Sync(view);
    QScreen* screen = owner ? owner->window->screen() : QGuiApplication::primaryScreen();
    if (owner) {
        QRect outer = owner->window->frameGeometry();
        window->move(outer.center() - window->rect().center());
    } else if (screen) {
        window->move(screen->availableGeometry().center() - window->rect().center());
    }
    if (screen) KeepOnScreen(*window, screen->availableGeometry());
}

// A window lies on the screen it opens on: moved in from an edge it would
// cross, its top left corner shown when it is larger than the screen.
void CQtSurface::CImpl::KeepOnScreen(QWidget& window, const QRect& screen) {
    QRect frame = window.geometry();
    int x = std::max(screen.left(), std::min(frame.left(), screen.right() + 1 - frame.width()));
    int y = std::max(screen.top(), std::min(frame.top(), screen.bottom() + 1 - frame.height()));
    if (x != frame.left() || y != frame.top()) window.move(x, y);
}

void CQtSurface::CImpl::Sync(CView& view) {
    QScopedValueRollback<bool> guard(syncing, true);
    QString caption = QString::fromStdString(view.dialog->Caption());
    if (view.window->windowTitle() != caption) view.window->setWindowTitle(caption);
    for (auto& [state, widget] : view.controls) {
        QSignalBlocker block(widget);
        if (widget->isEnabled() != state->enabled) widget->setEnabled(state->enabled);
        switch (state->cls) {
        case DLG_CLASS_BUTTON:
            if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                if (group->title() != Shown(state->text)) group->setTitle(Shown(state->text));
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                QString text = QString::fromStdString(state->text);
                if (button->text() != text) button->setText(text);
                if (!IsPushButton(*state) && button->isChecked() != (state->check == BST_CHECKED))
                    button->setChecked(state->check == BST_CHECKED);
            }
            break;
        case DLG_CLASS_STATIC: {
            auto* label = static_cast<QLabel*>(widget);
            if (label->text() != Shown(state->text)) label->setText(Shown(state->text));
            break;
        }
        case DLG_CLASS_EDIT:
            if (auto* area = qobject_cast<QPlainTextEdit*>(widget)) {
                QString text = EditLines(state->text);
                if (area->toPlainText() != text) area->setPlainText(text);
            } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
                QString text = QString::fromStdString(state->text);
                if (line->text() != text) {
                    line->setText(text);
                    size_t end = std::min(state->selEnd, state->text.size());
                    size_t start = std::min(state->selStart, end);
                    if (start != end) line->setSelection(static_cast<int>(start), static_cast<int>(end - start));
                    else line->setCursorPosition(static_cast<int>(end));
                }
            }
            break;
        case DLG_CLASS_LISTBOX: {
            auto* list = static_cast<QListWidget*>(widget);
            bool same = list->count() == static_cast<int>(state->rows.size());
            for (int i = 0; same && i < list->count(); ++i)
                same = list->item(i)->text() == QString::fromStdString(state->rows[static_cast<size_t>(i)]);
            if (!same) FillList(*list, state->rows);
            if (list->currentRow() != state->curSel) {
                list->setCurrentRow(state->curSel);
                if (state->curSel < 0) list->clearSelection();
            }
            break;
        }
        case DLG_CLASS_COMBOBOX: {
            auto* combo = static_cast<QComboBox*>(widget);
            QSignalBlocker blockEdit(combo->lineEdit());
            bool same = combo->count() == static_cast<int>(state->rows.size());
            for (int i = 0; same && i < combo->count(); ++i)
                same = combo->itemText(i) == QString::fromStdString(state->rows[static_cast<size_t>(i)]);
            if (!same) {
                combo->clear();
                for (const auto& row : state->rows) combo->addItem(QString::fromStdString(row));
            }
            if (combo->currentIndex() != state->curSel) combo->setCurrentIndex(state->curSel);
            QString text = QString::fromStdString(state->text);
            if (combo->currentText() != text) {
                combo->setEditText(text);
                size_t end = std::min(state->selEnd, state->text.size());
                size_t start = std::min(state->selStart, end);
                if (start != end)
                    combo->lineEdit()->setSelection(static_cast<int>(start), static_cast<int>(end - start));
                else combo->lineEdit()->setCursorPosition(static_cast<int>(end));
            }
            // A field without the focus shows the start of its text.
            if (!combo->lineEdit()->hasFocus() && combo->lineEdit()->cursorPosition() != 0)
                combo->lineEdit()->setCursorPosition(0);
            break;
        }
        }
    }
    ShowDefaultButton(view);
}

// Only the button Enter presses shows the default ring: the focused push
// button, else the template's default one.
void CQtSurface::CImpl::ShowDefaultButton(CView& view) {
    const int id = DlgDefaultButton(*view.dialog, view.focus);
    for (auto& [state, widget] : view.controls) {
        if (!IsPushButton(*state)) continue;
        auto* push = static_cast<QPushButton*>(widget);
        if (push->isDefault() != (state->id == id)) push->setDefault(state->id == id);
    }
}

void CQtSurface::CImpl::NoteFocus(QObject* widget) {
    if (syncing) return;
    CView* owner = nullptr;
    CDlgWindowState* state = StateOf(widget, &owner);
    if (!state || !owner || !state->TakesFocus()) return;
    owner->focus = state->id;
    ShowDefaultButton(*owner);
}

// After an action the focus is where the user left it; when that control
// was disabled, on the next enabled one in tab order.
void CQtSurface::CImpl::KeepFocus(CView& view) {
    auto& items = view.dialog->Items();
    const int count = static_cast<int>(items.size());
    int start = -1;
    for (int i = 0; i < count; ++i)
        if (items[static_cast<size_t>(i)]->id == view.focus) start = i;
    // An open drop-down or menu has the focus for the time being.
    if (start < 0 || QApplication::activePopupWidget()) return;
    for (int step = 0; step < count; ++step) {
        CDlgWindowState& item = *items[static_cast<size_t>((start + step) % count)];
        bool wanted = step == 0 ? item.TakesFocus() : item.IsTabStop();
        QWidget* widget = WidgetOf(view, &item);
        if (!wanted || !item.enabled || !widget) continue;
        QWidget* now = QApplication::focusWidget();
        if (now != widget && !widget->isAncestorOf(now)) {
            QScopedValueRollback<bool> guard(syncing, true);
            widget->setFocus(Qt::OtherFocusReason);
        }
        view.focus = item.id;
        ShowDefaultButton(view);
        return;
    }
}

CDlgWindowState* CQtSurface::CImpl::StateOf(QObject* object, CView** viewOut) const {
    for (; object; object = object->parent()) {
        QVariant v = object->property(kItemProperty);
        if (!v.isValid()) continue;
        auto* state = reinterpret_cast<CDlgWindowState*>(v.value<quintptr>());
        for (CView* view : views) {
            for (const auto& c : view->controls) {
                if (c.state == state) {
                    if (viewOut) *viewOut = view;
                    return state;
                }
            }
        }
        return nullptr;
    }
    return nullptr;
}

void CQtSurface::CImpl::MoveFocus(CView& view, bool forward) {
    auto& items = view.dialog->Items();
    int count = static_cast<int>(items.size());
    if (count == 0) return;
    int focused = FocusedId(view);
    int start = -1;
    for (int i = 0; i < count; ++i)
        if (focused != 0 && items[static_cast<size_t>(i)]->id == focused) start = i;
    for (int step = 1; step <= count; ++step) {
        int i = start < 0 ? (forward ? step - 1 : count - step)
                          : ((start + (forward ? step : -step)) % count + count) % count;
        CDlgWindowState& item = *items[static_cast<size_t>(i)];
        if (!item.IsTabStop() || !item.enabled) continue;
        QWidget* widget = WidgetOf(view, &item);
        if (!widget) continue;
        widget->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        if (HasEditField(item)) {  // tabbing into an edit selects its text
            item.selStart = 0;
            item.selEnd = item.text.size();
            if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->lineEdit()->selectAll();
            else if (auto* line = qobject_cast<QLineEdit*>(widget)) line->selectAll();
        }
        return;
    }
}

// The caret and selection the user set in the widget become the control's.
void CQtSurface::CImpl::TakeSelection(CDlgWindowState& state, QWidget* widget) {
    QLineEdit* line = qobject_cast<QLineEdit*>(widget);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) line = combo->lineEdit();
    if (!line) return;
    size_t size = state.text.size();
    if (line->hasSelectedText()) {
        state.selStart = std::min(size, static_cast<size_t>(line->selectionStart()));
        state.selEnd = std::min(size, static_cast<size_t>(line->selectionEnd()));
    } else {
        state.selStart = state.selEnd = std::min(size, static_cast<size_t>(line->cursorPosition()));
    }
}

void CQtSurface::CImpl::TypeText(CView& view, CDlgWindowState& state, const QString& text) {
    QWidget* widget = WidgetOf(view, &state);
    for (QChar ch : text) {
        if (ch == '\n' || ch == '\r' || ch == '\t') continue;
        // The controls hold bytes a character each.
        if (ch.unicode() < 0x20 || ch.unicode() > 0x7E) continue;
        TakeSelection(state, widget);
        // A character the control refuses (a letter in a number) is left out.
        if (!DlgUserTypeChar(*view.dialog, state.id, static_cast<char>(ch.unicode()))) continue;
        Sync(view);
        if (view.dialog->IsEnded() || !ViewOf(view.dialog)) return;
    }
}

void CQtSurface::CImpl::EditKey(CView& view, CDlgWindowState& state, QWidget* widget, bool forward) {
    TakeSelection(state, widget);
    if (forward) DlgUserDeleteChar(*view.dialog, state.id);
    else DlgUserTypeChar(*view.dialog, state.id, '\b');
}

bool CQtSurface::CImpl::ShowSystemMenu(CView& view, QPoint at) {
    CMenu* menu = view.dialog->GetSystemMenu(false);
    if (!menu) return false;
    QMenu popup(view.window);
    for (const auto& item : menu->Items()) {
        if (item.flags & MF_SEPARATOR) {
            popup.addSeparator();
        } else {
            QAction* action = popup.addAction(QString::fromStdString(item.text));
            action->setData(item.id);
        }
    }
    QAction* chosen = ExecMenu(popup, at);
    if (chosen && OSTerminationSignal() == 0 && ViewOf(view.dialog) && !view.dialog->IsEnded())
        DlgUserSysCommand(*view.dialog, chosen->data().toUInt());
    SyncAll();
    return true;
}

// F1: a window manager owns the system menu, so the dialog's own entries
// (the About box) answer to the help key.
bool CQtSurface::CImpl::RunAboutCommand(CView& view) {
    if (!DlgUserAboutCommand(*view.dialog)) return false;
    SyncAll();
    return true;
}

void CQtSurface::CImpl::RaiseAll() {
    for (CView* view : views) {
        if (view->window->isMinimized()) view->window->showNormal();
        if (QGuiApplication::platformName() != "offscreen") view->window->raise();
    }
    if (CView* top = Top()) top->window->activateWindow();
}

// Home, End, PgUp and PgDn choose in a closed combo as in its open list;
// Left and Right stay with the caret.
bool CQtSurface::CImpl::ChooseByPage(CView& view, CDlgWindowState& state, int key) {
    auto* combo = qobject_cast<QComboBox*>(WidgetOf(view, &state));
    const int count = static_cast<int>(state.rows.size());
    if (!combo || count == 0) return false;
    const int page = std::max(1, combo->maxVisibleItems() - 1), at = std::max(0, state.curSel);
    int row = 0;
    switch (key) {
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = count - 1; break;
    case Qt::Key_PageUp: row = std::max(0, at - page); break;
    case Qt::Key_PageDown: row = std::min(count - 1, state.curSel < 0 ? 0 : at + page); break;
    default: return false;
    }
    if (row != state.curSel) DlgUserSelect(*view.dialog, state.id, row);
    SyncAll();
    return true;
}

bool CQtSurface::CImpl::HandleKey(CView& view, QWidget* target, QKeyEvent& key) {
    CDialog& dialog = *view.dialog;
    CView* owner = nullptr;
    CDlgWindowState* state = StateOf(target, &owner);
    if (owner != &view) state = nullptr;
    Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    int k = key.key();
    if ((k == Qt::Key_Tab || k == Qt::Key_Backtab) && !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
        MoveFocus(view, k == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
        return true;
    }
    if (k == Qt::Key_Return || k == Qt::Key_Enter) {
        DlgUserEnter(dialog, FocusedId(view));
        SyncAll();
        return true;
    }
    if (k == Qt::Key_Escape) {
        DlgUserCancel(dialog);
        SyncAll();
        return true;
    }
    if (k == Qt::Key_F1 && mods == Qt::NoModifier) return RunAboutCommand(view);
    if (k == Qt::Key_C && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (auto text = DlgStatusText(dialog)) QGuiApplication::clipboard()->setText(QString::fromStdString(*text));
        return true;
    }
    if (k == Qt::Key_Space && mods == Qt::AltModifier)
        return ShowSystemMenu(view, view.window->mapToGlobal(QPoint(0, 0)));
    if (!state) return false;
    if (state->cls == DLG_CLASS_BUTTON) {
        // Arrows step through the buttons as Tab does.
        if (mods == Qt::NoModifier &&
            (k == Qt::Key_Down || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Left)) {
            MoveFocus(view, k == Qt::Key_Down || k == Qt::Key_Right);
            return true;
        }
        return false;
    }
    if (state->cls == DLG_CLASS_COMBOBOX && mods == Qt::NoModifier && ChooseByPage(view, *state, k)) return true;
    if (!HasEditField(*state)) return false;
    if (state->cls == DLG_CLASS_EDIT && (state->style & ES_READONLY)) return false;
    QWidget* widget = WidgetOf(view, state);
    if (k == Qt::Key_Backspace) {
        EditKey(view, *state, widget, false);
    } else if (k == Qt::Key_Delete && !(mods & Qt::ShiftModifier)) {
        EditKey(view, *state, widget, true);
    } else if (key.matches(QKeySequence::Paste)) {
        TypeText(view, *state, QGuiApplication::clipboard()->text());
    } else if (key.matches(QKeySequence::Cut)) {
        TakeSelection(*state, widget);
        if (state->selStart < state->selEnd) {
            QGuiApplication::clipboard()->setText(
                QString::fromStdString(state->text.substr(state->selStart, state->selEnd - state->selStart)));
            DlgUserDeleteChar(dialog, state->id);
        }
    } else if (key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo) ||
               key.matches(QKeySequence::DeleteEndOfWord) || key.matches(QKeySequence::DeleteStartOfWord) ||
               key.matches(QKeySequence::DeleteEndOfLine)) {
        // Edits the control would not see: not offered.
    } else if (!key.text().isEmpty() && key.text().at(0).isPrint() &&
               !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
        TypeText(view, *state, key.text());
    } else {
        return false;  // caret movement and selection stay with the widget
    }
    SyncAll();
    return true;
}

bool CQtSurface::CImpl::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn: NoteFocus(watched); return false;
    case QEvent::KeyPress: {
        if (QApplication::activePopupWidget()) return false;  // an open combo list or menu has the keys
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        CView* top = Top();
        if (!top || widget->window() != top->window) return false;
        return HandleKey(*top, widget, *static_cast<QKeyEvent*>(event));
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // The middle button pastes the X selection past the dialog.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton &&
            (qobject_cast<QLineEdit*>(watched) || qobject_cast<QPlainTextEdit*>(watched->parent())))
            return true;
        return false;
    }
    case QEvent::Close: {
        for (CView* view : views) {
            if (view->window != watched) continue;
            event->ignore();
            // The window's close button or the window manager's close: the
            // surface itself never closes a window, it deletes it.
            if (view == Top() && !view->dialog->IsEnded()) {
                if (view->dialog->GetSystemMenu(false)) DlgUserSysCommand(*view->dialog, SC_CLOSE);
                else DlgUserCancel(*view->dialog);
                SyncAll();
            }
            return true;
        }
        return false;
    }
    default: return false;
    }
}

void CQtSurface::CImpl::RunScriptStep(CDialog& dialog) {
    if (!scripted) return;
    uint64_t now = surface->NowMs();
    if (steps.empty()) {
        scriptErrors.push_back("the script ended while \"" + dialog.Caption() + "\" was open");
        dialog.EndDialog(IDCANCEL);
        return;
    }
    if (stepSince == 0) stepSince = now;
    // Taken off first: a step that opens a dialog runs the next ones inside it.
    Step step = std::move(steps.front());
    steps.pop_front();
    if (step()) {
        stepSince = 0;
        return;
    }
    steps.push_front(std::move(step));
    if (now - stepSince > kStepPatienceMs) {
        scriptErrors.push_back("a step waited too long while \"" + dialog.Caption() + "\" was open");
        steps.clear();
        dialog.EndDialog(IDCANCEL);
    }
}

// CQtSurface.

CQtSurface::CQtSurface(const std::string& iconName) : m(std::make_unique<CImpl>()) {
    m->surface = this;
    if (m->Start(iconName)) DlgSetSurface(this);
}

CQtSurface::~CQtSurface() {
    if (DlgSurface() == this) DlgSetSurface(nullptr);
    if (QCoreApplication::instance()) qApp->removeEventFilter(m.get());
    m->wake.stop();
    std::unique_ptr<QApplication> app = std::move(m->app);
    m.reset();
}

bool CQtSurface::Ok() const { return m->error.empty(); }
const std::string& CQtSurface::Error() const { return m->error; }

uint64_t CQtSurface::NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CQtSurface::Repaint() {
    m->SyncAll(false);
    for (auto* view : m->views) view->window->repaint();
}

void CQtSurface::RunModal(CDialog& dialog) {
    if (!Ok()) {
        dialog.EndDialog(IDCANCEL);
        return;
    }
    CImpl::CView view;
    view.dialog = &dialog;
    m->Build(view);
    m->views.push_back(&view);
    view.window->show();
    m->RaiseAll();
    m->MoveFocus(view, true);
    m->stepSince = 0;
    while (!dialog.IsEnded()) {
        if (OSTerminationSignal() != 0) {
            DlgUserCancel(dialog);
            if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
            break;
        }
        if (OSTakeRaiseRequest()) m->RaiseAll();
        DlgFireDueTimers(NowMs());
        if (dialog.IsEnded()) break;
        m->SyncAll();
        uint64_t next = DlgNextTimerDue(), now = NowMs();
        uint64_t wait = next <= now ? 0 : std::min<uint64_t>(next - now, kMaxWaitMs);
        if (m->scripted) wait = std::min<uint64_t>(wait, 10);
        m->wake.start(static_cast<int>(wait));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (!dialog.IsEnded()) m->RunScriptStep(dialog);
    }
    m->views.pop_back();
    view.window->hide();
    delete view.window;
    m->SyncAll();
    if (CImpl::CView* top = m->Top()) top->window->activateWindow();
}

QWidget* CQtSurface::WindowOf(const CDialog* dialog) const {
    CImpl::CView* view = m->ViewOf(dialog);
    return view ? view->window : nullptr;
}

QWidget* CQtSurface::WidgetOf(const CDialog* dialog, int id) const {
    CImpl::CView* view = m->ViewOf(dialog);
    if (!view) return nullptr;
    for (const auto& c : view->controls)
        if (c.state->id == id) return c.widget;
    return nullptr;
}

int CQtSurface::BaseUnitX() const { return m->baseX; }
int CQtSurface::BaseUnitY() const { return m->baseY; }

void CQtSurface::Script(std::vector<Step> steps) {
    m->scripted = true;
    for (auto& step : steps) m->steps.push_back(std::move(step));
}

const std::vector<std::string>& CQtSurface::ScriptErrors() const { return m->scriptErrors; }
