// Where the dialogs go: windows, the terminal, or a clear refusal.
#include "app/dialog_surface.h"

#include <gtest/gtest.h>

TEST(DialogSurfaceChoice, WindowsWithADisplayElseTheTerminalElseARefusal) {
    EXPECT_EQ(ChooseDialogSurface(nullptr, true, true, true).surface, EDialogSurface::Window);
    EXPECT_EQ(ChooseDialogSurface("", true, false, true).surface, EDialogSurface::Window);
    EXPECT_FALSE(ChooseDialogSurface(nullptr, true, false, true).forced);
    EXPECT_EQ(ChooseDialogSurface(nullptr, false, true, true).surface, EDialogSurface::Terminal);
    // A build without windows stays on the terminal, display or not.
    EXPECT_EQ(ChooseDialogSurface(nullptr, true, true, false).surface, EDialogSurface::Terminal);
    CSurfaceChoice none = ChooseDialogSurface(nullptr, false, false, true);
    EXPECT_EQ(none.surface, EDialogSurface::Refused);
    EXPECT_EQ(none.error, "the dialog interface needs a terminal; use /C for console mode");
}

TEST(DialogSurfaceChoice, AForcedSurfaceIsUsedOrRefusedNeverSwapped) {
    CSurfaceChoice window = ChooseDialogSurface("window", true, true, true);
    EXPECT_EQ(window.surface, EDialogSurface::Window);
    EXPECT_TRUE(window.forced);
    CSurfaceChoice noDisplay = ChooseDialogSurface("window", false, true, true);
    EXPECT_EQ(noDisplay.surface, EDialogSurface::Refused);
    EXPECT_NE(noDisplay.error.find("needs a display"), std::string::npos);
    EXPECT_EQ(ChooseDialogSurface("window", true, true, false).surface, EDialogSurface::Refused);
    CSurfaceChoice terminal = ChooseDialogSurface("terminal", true, true, true);
    EXPECT_EQ(terminal.surface, EDialogSurface::Terminal);
    EXPECT_TRUE(terminal.forced);
    EXPECT_EQ(ChooseDialogSurface("terminal", true, false, true).surface, EDialogSurface::Refused);
}

TEST(DialogSurfaceChoice, AnUnknownValueIsRefusedOnOneLine) {
    CSurfaceChoice bad = ChooseDialogSurface("Window\n\x1b[2J", true, true, true);
    EXPECT_EQ(bad.surface, EDialogSurface::Refused);
    EXPECT_EQ(bad.error, "VOLTARIS_SURFACE must be window or terminal, not \"Window??[2J\"");
    std::string longValue(100, 'x');
    EXPECT_EQ(ChooseDialogSurface(longValue.c_str(), true, true, true).error.size(),
              std::string("VOLTARIS_SURFACE must be window or terminal, not \"\"").size() + 43);
}
