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
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
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

// Check boxes and radio buttons answer to a click anywhere in their
// rectangle, as the dialog's buttons do, not only on the mark and the text.
template <typename TButton>
class CWholeButton : public TButton {
public:
    using TButton::TButton;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
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
    };

    CQtSurface* surface = nullptr;
    std::unique_ptr<QApplication> app;
    int argc = 3;
    std::string argv0 = "voltaris", argv1 = "-platform", argv2;
    char* argv[4] = {};
    std::string error;
    std::vector<CView*> views;
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
    QWidget* MakeWidget(CView& view, CDlgWindowState& state);
    QRect Pixels(const CDlgRect& r) const {
        return QRect((r.x * baseX + 2) / 4, (r.y * baseY + 4) / 8, (r.cx * baseX + 2) / 4, (r.cy * baseY + 4) / 8);
    }
    void Sync(CView& view);
    void SyncAll() {
        for (CView* view : views) Sync(*view);
    }
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

QWidget* CQtSurface::CImpl::MakeWidget(CView& view, CDlgWindowState& state) {
    QWidget* parent = view.window;
    CDialog* dialog = view.dialog;
    int id = state.id;
    QWidget* widget = nullptr;
    switch (state.cls) {
        case DLG_CLASS_BUTTON: {
            QAbstractButton* button = nullptr;
            if (state.IsButtonKind(BS_GROUPBOX)) {
                widget = new QGroupBox(parent);
                break;
            }
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
            widget = button;
            break;
        }
        case DLG_CLASS_STATIC: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case DLG_CLASS_EDIT:
            if (state.style & ES_MULTILINE) {
                auto* edit = new QPlainTextEdit(parent);
                edit->setReadOnly(state.style & ES_READONLY);
                edit->setLineWrapMode(state.style & ES_AUTOHSCROLL ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
                edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                edit->setTabChangesFocus(true);
                edit->setContextMenuPolicy(Qt::NoContextMenu);
                edit->setAcceptDrops(false);
                widget = edit;
            } else {
                auto* edit = new QLineEdit(parent);
                edit->setReadOnly(state.style & ES_READONLY);
                edit->setContextMenuPolicy(Qt::NoContextMenu);
                edit->setAcceptDrops(false);
                // Typing reaches the dialog through the key filter; whatever
                // changes the text another way is put back.
                connect(edit, &QLineEdit::textEdited, this, [this] { SyncAll(); });
                widget = edit;
            }
            break;
        case DLG_CLASS_LISTBOX: {
            auto* list = new QListWidget(parent);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            auto* s = &state;
            connect(list, &QListWidget::currentRowChanged, this, [this, dialog, id, s](int row) {
                if (row >= 0 && row != s->curSel && Top() && Top()->dialog == dialog) DlgUserSelect(*dialog, id, row);
                SyncAll();
            });
            widget = list;
            break;
        }
        case DLG_CLASS_COMBOBOX: {
            auto* combo = new QComboBox(parent);
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
            widget = combo;
            break;
        }
    }
    widget->setProperty(kItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&state)));
    if (state.cls != DLG_CLASS_STATIC && !state.IsButtonKind(BS_GROUPBOX)) widget->setFocusPolicy(Qt::StrongFocus);
    QRect rect = Pixels(state.rect);
    if (state.cls == DLG_CLASS_COMBOBOX) {
        // A combo's template height holds its open list; the field itself is
        // as tall as the font needs.
        auto* combo = static_cast<QComboBox*>(widget);
        int field = combo->sizeHint().height();
        int rowHeight = std::max(1, QFontMetrics(combo->font()).height());
        combo->setMaxVisibleItems(std::max(1, (rect.height() - field) / rowHeight));
        rect.setHeight(std::max(field, std::min(rect.height(), field)));
    }
    widget->setGeometry(rect);
    widget->show();
    return widget;
}

void CQtSurface::CImpl::Build(CView& view) {
    CDialog& dialog = *view.dialog;
    const CDlgTemplate* t = dialog.Template();
    CView* owner = views.empty() ? nullptr : views.back();
    view.window = new QDialog(owner ? owner->window : nullptr);
    QDialog* window = view.window;
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (t->style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    window->setWindowFlags(flags);
    window->setWindowModality(Qt::ApplicationModal);
    window->setWindowTitle(QString::fromStdString(dialog.Caption()));
    window->setFixedSize(Pixels({0, 0, t->cx, t->cy}).size());
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
    if (owner) {
        QRect outer = owner->window->frameGeometry();
        window->move(outer.center() - window->rect().center());
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        window->move(screen->availableGeometry().center() - window->rect().center());
    }
}

void CQtSurface::CImpl::Sync(CView& view) {
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
                if (!same) {
                    list->clear();
                    for (const auto& row : state->rows) list->addItem(QString::fromStdString(row));
                }
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
                    if (start != end) combo->lineEdit()->setSelection(static_cast<int>(start), static_cast<int>(end - start));
                    else combo->lineEdit()->setCursorPosition(static_cast<int>(end));
                }
                break;
            }
        }
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
        int i = start < 0 ? (forward ? step - 1 : count - step) : ((start + (forward ? step : -step)) % count + count) % count;
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
    // The menu runs a loop of its own: a termination signal closes it too.
    QTimer watch;
    connect(&watch, &QTimer::timeout, &popup, [&popup] {
        if (OSTerminationSignal() != 0) popup.close();
    });
    watch.start(kMaxWaitMs);
    QAction* chosen = popup.exec(at);
    watch.stop();
    if (chosen && OSTerminationSignal() == 0 && ViewOf(view.dialog) && !view.dialog->IsEnded())
        DlgUserSysCommand(*view.dialog, chosen->data().toUInt());
    SyncAll();
    return true;
}

// F1: a window manager owns the system menu, so the dialog's own entries
// (the About box) answer to the help key.
bool CQtSurface::CImpl::RunAboutCommand(CView& view) {
    CMenu* menu = view.dialog->GetSystemMenu(false);
    if (!menu) return false;
    for (const auto& item : menu->Items()) {
        if (!(item.flags & MF_SEPARATOR) && (item.id & 0xFFF0) != SC_CLOSE) {
            DlgUserSysCommand(*view.dialog, item.id);
            SyncAll();
            return true;
        }
    }
    return false;
}

void CQtSurface::CImpl::RaiseAll() {
    for (CView* view : views) {
        if (view->window->isMinimized()) view->window->showNormal();
        if (QGuiApplication::platformName() != "offscreen") view->window->raise();
    }
    if (CView* top = Top()) top->window->activateWindow();
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
    if (k == Qt::Key_Space && mods == Qt::AltModifier)
        return ShowSystemMenu(view, view.window->mapToGlobal(QPoint(0, 0)));
    if (!state) return false;
    if (state->cls == DLG_CLASS_BUTTON) {
        // Arrows step through the buttons as Tab does.
        if (mods == Qt::NoModifier && (k == Qt::Key_Down || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Left)) {
            MoveFocus(view, k == Qt::Key_Down || k == Qt::Key_Right);
            return true;
        }
        return false;
    }
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
    } else if (!key.text().isEmpty() && key.text().at(0).isPrint() && !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
        TypeText(view, *state, key.text());
    } else {
        return false;  // caret movement and selection stay with the widget
    }
    SyncAll();
    return true;
}

bool CQtSurface::CImpl::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
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
            if (mouse->button() == Qt::MiddleButton && (qobject_cast<QLineEdit*>(watched) ||
                                                        qobject_cast<QPlainTextEdit*>(watched->parent())))
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
        default:
            return false;
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
    m->SyncAll();
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
