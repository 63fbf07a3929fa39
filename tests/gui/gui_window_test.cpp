// The program's dialogs as windows on Qt's offscreen platform: opened from the
// main window as a user would, with clicks and keys on the real widgets.
#include "bench/catalogue.h"
#include "dlg/qt_surface.h"
#include "gui/main_dialog.h"
#include "gui_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

class CGuiWindowTest : public CGuiTest {
protected:
    static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 1); }
    void SetUp() override {
        CGuiTest::SetUp();
        ASSERT_TRUE(window.Ok()) << window.Error();
    }
    void TearDown() override {
        for (const auto& e : window.ScriptErrors()) ADD_FAILURE() << e;
        CGuiTest::TearDown();
    }

    static CQtSurface::Step Do(std::function<void()> f) {
        return [f] {
            f();
            return true;
        };
    }
    CDialog* Top() const { return DlgModalStack().empty() ? nullptr : DlgModalStack().back(); }
    QWidget* W(int id) const { return window.WidgetOf(Top(), id); }
    int FocusedId() const {
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            for (const auto& item : Top()->Items())
                if (W(item->id) == w) return item->id;
        return 0;
    }
    bool IsDefault(int id) const { return qobject_cast<QPushButton*>(W(id))->isDefault(); }
    QString Title() const { return Top() ? window.WindowOf(Top())->windowTitle() : QString(); }
    void Click(int id) {
        ASSERT_TRUE(W(id)) << id;
        QTest::mouseClick(W(id), Qt::LeftButton, {}, QPoint(4, W(id)->height() / 2));
    }
    void Key(Qt::Key key) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.WindowOf(Top());
        QTest::keyClick(target, key);
    }
    // Opens the test dialog of a choice from the main window.
    void OpenTest(int choice) {
        Click(choice);
        Click(IDC_TEST);
    }
    // The window's size and the template's agree in proportion.
    void ExpectProportions(int templateId) {
        const CDlgTemplate* t = DlgFindTemplate(templateId);
        ASSERT_TRUE(t);
        QSize size = window.WindowOf(Top())->size();
        double units = static_cast<double>(t->cx) / t->cy;
        double pixels = static_cast<double>(size.width()) / size.height();
        double bases = (window.BaseUnitX() / 4.0) / (window.BaseUnitY() / 8.0);
        EXPECT_NEAR(pixels, units * bases, 0.05 * units * bases) << t->caption;
        EXPECT_EQ(
            static_cast<size_t>(window.WindowOf(Top())->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size()),
            t->items.size())
            << t->caption;
        ExpectTextsWhole();
        // On the screen it opened on, with the program's icon.
        QWidget* shown = window.WindowOf(Top());
        QRect screen = shown->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(shown->geometry().topLeft())) << t->caption;
        if (shown->width() <= screen.width()) {
            EXPECT_LE(shown->geometry().right(), screen.right()) << t->caption;
        }
        EXPECT_FALSE(shown->windowIcon().isNull());
        EXPECT_FALSE(shown->windowFlags() & Qt::WindowMaximizeButtonHint);
    }
    // Every label, button and group title fits its control on one line, a
    // combo's field fits its longest entry and shows the start of its text.
    void ExpectTextsWhole() {
        for (const auto& item : Top()->Items()) {
            QWidget* w = W(item->id);
            QFontMetrics metrics(w->font());
            QString text = QString::fromStdString(item->text).remove('&');
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), combo->lineEdit()->width())
                        << combo->itemText(i).toStdString();
                if (!combo->hasFocus()) {
                    EXPECT_EQ(combo->lineEdit()->cursorPosition(), 0);
                }
            } else if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w)) {
                EXPECT_LE(metrics.horizontalAdvance(text), w->width()) << text.toStdString();
                EXPECT_LE(metrics.height(), w->height()) << text.toStdString();
            } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w); edit && edit->isReadOnly()) {
                EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
            }
        }
    }

    // Runs the program's main window on the offscreen surface.
    void RunMain(std::vector<CQtSurface::Step> steps) {
        window.Script(std::move(steps));
        EXPECT_TRUE(RunMainDialog());
    }

    CQtSurface window{"voltaris"};
};

}  // namespace

TEST_F(CGuiWindowTest, EveryDialogOpensAsAWindowWithItsCaptionAndControls) {
    Load(kGuiBench);
    struct {
        int choice;
        int templateId;
        const char* caption;
    } const kTests[] = {
        {IDC_DEVICE_CHOICE, IDD_DEVICE_TEST, "xHCI HS Voltaris - Device Test"},
        {IDC_HUB_CHOICE, IDD_HUB_TEST, "xHCI HS Voltaris - Hub Test"},
        {IDC_HOST_CHOICE, IDD_HOST_TEST, "xHCI HS Voltaris - Host Test"},
        {IDC_SS_CHOICE, IDD_SS_TEST, "SuperSpeed Test Modes"},
    };
    std::vector<CQtSurface::Step> steps = {Do([&] {
        EXPECT_EQ(Title(), "xHCI Voltaris");
        ExpectProportions(IDD_VOLTARIS_DIALOG);
        EXPECT_TRUE(qobject_cast<QPushButton*>(W(IDC_TEST))->isDefault());
        EXPECT_FALSE(window.WindowOf(Top())->windowIcon().isNull());
        // The main window is a top-level window of its own, not a modal dialog.
        EXPECT_EQ(window.WindowOf(Top())->windowType(), Qt::Window);
        EXPECT_FALSE(window.WindowOf(Top())->isModal());
        // The simulated controller says so where the row starts, so a narrow list shows it too.
        auto* hosts = qobject_cast<QListWidget*>(W(IDC_HOST_LIST));
        ASSERT_TRUE(hosts && hosts->count() == 1);
        EXPECT_EQ(hosts->item(0)->text(), "(simulated) Test host  8 Ports");
    })};
    for (const auto& test : kTests) {
        steps.push_back(Do([&] { OpenTest(test.choice); }));
        steps.push_back(Do([&] {
            EXPECT_EQ(Title(), test.caption);
            EXPECT_EQ(DlgModalStack().size(), 2u);
            ExpectProportions(test.templateId);
            Key(Qt::Key_Escape);
        }));
    }
    // F1 shows the About box; Enter closes it.
    steps.push_back(Do([&] { Key(Qt::Key_F1); }));
    steps.push_back(Do([&] {
        EXPECT_EQ(Title(), "About xHCI HS Voltaris");
        ExpectProportions(IDD_ABOUTBOX);
        Key(Qt::Key_Return);
    }));
    steps.push_back(Do([&] {
        EXPECT_EQ(Title(), "xHCI Voltaris");
        Key(Qt::Key_Escape);
    }));
    RunMain(std::move(steps));
    EXPECT_TRUE(DlgModalStack().empty());
}

TEST_F(CGuiWindowTest, TestPacketOnRootPortTwoWithTheMouseAndTheKeys) {
    Load(kGuiBench);
    RunMain({Do([&] { OpenTest(IDC_HOST_CHOICE); }), Do([&] {
                 ASSERT_EQ(Title(), "xHCI HS Voltaris - Host Test");
                 // The port command list by keys: Down until TEST_PACKET.
                 W(IDC_HOST_PORT_COMMAND)->setFocus();
                 auto* commands = qobject_cast<QComboBox*>(W(IDC_HOST_PORT_COMMAND));
                 for (int i = 0; i < 10 && commands->currentText() != "TEST_PACKET"; ++i) Key(Qt::Key_Down);
                 EXPECT_EQ(Top()->FindItem(IDC_HOST_PORT_COMMAND)->curSel, PORT_TEST_TEST_PACKET);
                 // Tab to the port list, Down to port 2.
                 Key(Qt::Key_Tab);
                 QWidget* focus = QApplication::focusWidget();
                 EXPECT_TRUE(focus == W(IDC_HOST_PORT_NUMBER) || W(IDC_HOST_PORT_NUMBER)->isAncestorOf(focus));
                 Key(Qt::Key_Down);
                 EXPECT_EQ(Top()->FindItem(IDC_HOST_PORT_NUMBER)->text, "2");
                 Click(IDC_HOST_EXECUTE);
                 EXPECT_EQ(Requests("SetPortFeature root:2 21 4 0"), 1u);
                 EXPECT_EQ(qobject_cast<QPlainTextEdit*>(W(IDC_HOST_STATUS))->toPlainText(), "Operation Successful");
                 Key(Qt::Key_Escape);
             }),
             Do([&] { Key(Qt::Key_Escape); })});
}

TEST_F(CGuiWindowTest, TheStartUpMessageBoxAnswersInsideTheMainWindow) {
    Load("");                                   // no controllers
    RunMain({Do([&] { Key(Qt::Key_Return); }),  // TEST, the default button
             Do([&] {
                 ASSERT_EQ(DlgModalStack().size(), 2u);
                 EXPECT_EQ(qobject_cast<QLabel*>(W(DLG_IDC_MESSAGE_TEXT))->text(),
                           "No XHCI Host Controller Found.  Unable to Test.");
                 EXPECT_FALSE(W(IDCANCEL));
                 Click(IDOK);
             }),
             Do([&] {
                 EXPECT_EQ(DlgModalStack().size(), 1u);
                 EXPECT_EQ(Title(), "xHCI Voltaris");
                 Click(IDC_EXIT);
             })});
}

TEST_F(CGuiWindowTest, TheConnectionMonitorTicksOnTheWindowsClock) {
    Load(kGuiBench);
    RunMain({Do([&] { OpenTest(IDC_HOST_CHOICE); }), Do([&] {
                 EXPECT_TRUE(Top()->FindItem(IDC_HOST_PORT_COMMAND));
                 auto* commands = qobject_cast<QComboBox*>(W(IDC_HOST_PORT_COMMAND));
                 W(IDC_HOST_PORT_COMMAND)->setFocus();
                 for (int i = 0; i < 10 && commands->currentText() != "TEST_FORCE_ENABLE"; ++i) Key(Qt::Key_Down);
                 Click(IDC_HOST_EXECUTE);
                 Click(IDC_HOST_DISCONNECT_NOTIFY);
                 std::string error;
                 EXPECT_TRUE(BLSimUnplug(BLBackend(), 0, "1", error)) << error;
             }),
             [&] {
                 return qobject_cast<QPlainTextEdit*>(W(IDC_HOST_STATUS))->toPlainText() ==
                     "Disconnect Event Detected!";
             },
             Do([&] { Key(Qt::Key_Escape); }), Do([&] { Key(Qt::Key_Escape); })});
}

TEST_F(CGuiWindowTest, FocusStaysAfterActionsAndEnterPressesTheFocusedButton) {
    Load(kGuiBench);
    RunMain({Do([&] { OpenTest(IDC_DEVICE_CHOICE); }), Do([&] {
                 W(IDC_DEVICE_ENUMERATE)->setFocus();
                 Key(Qt::Key_Space);
                 EXPECT_EQ(Requests("Enumerate "), 1u);
                 EXPECT_EQ(FocusedId(), IDC_DEVICE_ENUMERATE);
                 EXPECT_TRUE(IsDefault(IDC_DEVICE_ENUMERATE));
                 EXPECT_FALSE(IsDefault(IDC_DEVICE_EXECUTE));
                 // The loop disables all but its own button, which keeps the focus.
                 auto* commands = qobject_cast<QComboBox*>(W(IDC_DEVICE_COMMAND));
                 W(IDC_DEVICE_COMMAND)->setFocus();
                 for (int i = 0; i < 20 && commands->currentIndex() != DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR; ++i)
                     Key(Qt::Key_Down);
                 W(IDC_DEVICE_EXECUTE)->setFocus();
                 Key(Qt::Key_Return);
                 EXPECT_EQ(Top()->FindItem(IDC_DEVICE_EXECUTE)->text, "Stop Looping");
                 EXPECT_EQ(FocusedId(), IDC_DEVICE_EXECUTE);
                 Key(Qt::Key_Tab);
                 EXPECT_EQ(FocusedId(), IDC_DEVICE_RETURN);
                 EXPECT_TRUE(IsDefault(IDC_DEVICE_RETURN));
                 EXPECT_FALSE(IsDefault(IDC_DEVICE_EXECUTE));
                 Key(Qt::Key_Tab);
                 Key(Qt::Key_Return);  // the focused button: Stop Looping
                 EXPECT_EQ(Top()->FindItem(IDC_DEVICE_EXECUTE)->text, "Execute");
                 EXPECT_EQ(qobject_cast<QPlainTextEdit*>(W(IDC_DEVICE_STATUS))->toPlainText(), "Operation Successful");
                 EXPECT_EQ(FocusedId(), IDC_DEVICE_EXECUTE);
                 Key(Qt::Key_Escape);
             }),
             Do([&] { Key(Qt::Key_Escape); })});
}
