// How a desktop window follows its scene window and the application's hiding: hiding minimises
// the windows (there is no dock to bring them back from), restoring one from the desktop unhides
// the application, and a window the user minimised is left alone.
#include "platform/render/scene/DesktopWindow.h"

#include <gtest/gtest.h>

namespace {

using plat::render::HiddenWindowState;
using plat::render::nextVisibilityStep;
using plat::render::VisibilityFacts;
using plat::render::VisibilityStep;

VisibilityFacts facts(bool windowVisible, bool applicationHidden, bool surfaceVisible, bool surfaceIconified) {
    VisibilityFacts f;
    f.windowVisible = windowVisible;
    f.applicationHidden = applicationHidden;
    f.surfaceVisible = surfaceVisible;
    f.surfaceIconified = surfaceIconified;
    return f;
}

TEST(VisibilityStep, OrderingInAndOutShowsAndHidesTheDesktopWindow) {
    HiddenWindowState state = HiddenWindowState::None;
    EXPECT_EQ(nextVisibilityStep(facts(true, false, false, false), state), VisibilityStep::Show);
    EXPECT_EQ(nextVisibilityStep(facts(true, false, true, false), state), VisibilityStep::None);
    EXPECT_EQ(nextVisibilityStep(facts(false, false, true, false), state), VisibilityStep::Hide);
    EXPECT_EQ(nextVisibilityStep(facts(false, false, false, false), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::None);
}

TEST(VisibilityStep, HidingMinimisesAndRestoringFromTheDesktopUnhidesTheApplication) {
    HiddenWindowState state = HiddenWindowState::None;
    // The application hid: the window is minimised, not unmapped.
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::Minimise);
    EXPECT_EQ(state, HiddenWindowState::Requested);
    // The window manager has not acted yet, then it has (and unmapped the window).
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::None);
    EXPECT_EQ(nextVisibilityStep(facts(false, true, false, true), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::Minimised);
    EXPECT_EQ(nextVisibilityStep(facts(false, true, false, true), state), VisibilityStep::None);
    // The user restored it from the desktop's list.
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::UnhideApplication);
    EXPECT_EQ(state, HiddenWindowState::Restored);
    // Passes that run before the application has unhidden leave it on screen.
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::None);
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::None);
    // The application unhid: the window is on screen again and nothing more happens.
    EXPECT_EQ(nextVisibilityStep(facts(true, false, true, false), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::None);
    // And hiding again minimises it again.
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::Minimise);
}

TEST(VisibilityStep, ShowAllRestoresAWindowMinimisedForHiding) {
    HiddenWindowState state = HiddenWindowState::None;
    nextVisibilityStep(facts(false, true, true, false), state);
    nextVisibilityStep(facts(false, true, false, true), state);
    ASSERT_EQ(state, HiddenWindowState::Minimised);
    EXPECT_EQ(nextVisibilityStep(facts(true, false, false, true), state), VisibilityStep::Restore);
    EXPECT_EQ(state, HiddenWindowState::None);
    // The window manager maps it again; until then a show is harmless.
    EXPECT_EQ(nextVisibilityStep(facts(true, false, false, false), state), VisibilityStep::Show);
    EXPECT_EQ(nextVisibilityStep(facts(true, false, true, false), state), VisibilityStep::None);
}

TEST(VisibilityStep, WithoutAWindowManagerTheWindowStaysOnScreenUntilShowAll) {
    HiddenWindowState state = HiddenWindowState::None;
    EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::Minimise);
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(nextVisibilityStep(facts(false, true, true, false), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::Requested) << "never taken for a restore by the user";
    EXPECT_EQ(nextVisibilityStep(facts(true, false, true, false), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::None);
}

TEST(VisibilityStep, AWindowTheUserMinimisedIsNeitherShownAgainNorTakenForAnUnhide) {
    HiddenWindowState state = HiddenWindowState::None;
    EXPECT_EQ(nextVisibilityStep(facts(true, false, false, true), state), VisibilityStep::None);
    // A window that was already off screen when the application hid stays off screen.
    EXPECT_EQ(nextVisibilityStep(facts(false, true, false, false), state), VisibilityStep::None);
    EXPECT_EQ(state, HiddenWindowState::None);
}

} // namespace
