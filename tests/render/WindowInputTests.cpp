// Sheets over their parent, alerts modal in their window, and the editable text field.
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "tests/render/XServer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace plat::render;
using plat::RGBA;
using plat::Size;
using namespace std::chrono_literals;

class WindowInput : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_DISPLAY(); }

    std::unique_ptr<Surface> open(Size size, Surface* parent = nullptr) {
        WindowOptions options;
        options.contentSize = size;
        options.parent = parent;
        return WindowSystem::shared().createWindow(options);
    }

    // Turns the loop until `events` has an event of `kind` (or a second passes).
    static bool waitFor(const std::vector<InputEvent>& events, InputEvent::Kind kind) {
        return WindowSystem::shared().runUntil(
            [&] {
                for (const auto& e : events)
                    if (e.kind == kind) return true;
                return false;
            },
            1s);
    }

    static std::vector<InputEvent>* record(Surface& s, std::vector<InputEvent>& into) {
        s.setEventHandler([&into](const InputEvent& e) {
            if (e.kind != InputEvent::Kind::MouseMove) into.push_back(e);
        });
        return &into;
    }
};

TEST_F(WindowInput, ASheetSitsOverItsParentWhichTakesNoInputUntilItCloses) {
    auto parent = open({600, 400});
    parent->setTitle("main");
    std::vector<InputEvent> parentEvents, sheetEvents;
    record(*parent, parentEvents);
    auto sheet = open({300, 200}, parent.get());
    record(*sheet, sheetEvents);
    EXPECT_EQ(sheet->parent(), parent.get());
    EXPECT_FALSE(parent->acceptsInput());
    EXPECT_TRUE(sheet->acceptsInput());
    // Centred over the parent, level with its top.
    EXPECT_NEAR(sheet->position().x, parent->position().x + 150, 1);
    EXPECT_NEAR(sheet->position().y, parent->position().y, 1);

    static_cast<GlWindow*>(parent.get())->simulateMouseClick({10, 10});
    static_cast<GlWindow*>(parent.get())->simulateKey('X');
    static_cast<GlWindow*>(parent.get())->simulateCloseRequest();
    static_cast<GlWindow*>(sheet.get())->simulateMouseClick({10, 10});
    EXPECT_TRUE(waitFor(sheetEvents, InputEvent::Kind::MouseUp));
    WindowSystem::shared().runOnce(10ms);
    EXPECT_TRUE(parentEvents.empty());

    sheet.reset();
    EXPECT_TRUE(parent->acceptsInput());
    static_cast<GlWindow*>(parent.get())->simulateMouseClick({10, 10});
    EXPECT_TRUE(waitFor(parentEvents, InputEvent::Kind::MouseUp));
}

TEST_F(WindowInput, ASheetOutlivingItsParentIsLeftAlone) {
    auto parent = open({400, 300});
    auto sheet = open({200, 100}, parent.get());
    parent.reset();
    EXPECT_EQ(sheet->parent(), nullptr);
    EXPECT_TRUE(sheet->acceptsInput());
    WindowSystem::shared().runOnce(10ms);
}

TEST_F(WindowInput, AnAlertTakesThePointerAndReturnPressesItsLastButton) {
    auto window = open({400, 300});
    std::vector<InputEvent> events;
    record(*window, events);
    DisplayList list;
    list.add(cmd::Alert{"Message", "Please enter valid email", {{"Cancel", false}, {"OK", true}}});
    window->present(list);
    auto* gl = static_cast<GlWindow*>(window.get());
    gl->simulateMouseClick({5, 5}); // outside the alert: not the tree's
    gl->simulateKey(keys::Return);
    ASSERT_TRUE(waitFor(events, InputEvent::Kind::AlertButton));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].index, 1);
    EXPECT_EQ(events[0].text, "OK");
    // Drawn in the middle of the window, over a dimmed backdrop.
    int w = 0, h = 0;
    auto pixels = window->readPixels(&w, &h);
    ASSERT_EQ(w, 400);
    auto at = [&](int x, int y) {
        return pixels[(static_cast<size_t>(y) * 400 + static_cast<size_t>(x)) * 4];
    };
    EXPECT_LT(at(5, 5), 250);          // dimmed
    EXPECT_GT(at(200, 150), at(5, 5)); // the alert's panel is lighter than the backdrop
}

TEST_F(WindowInput, ClickingAButtonOfTheAlertReportsIt) {
    auto window = open({400, 300});
    std::vector<InputEvent> events;
    record(*window, events);
    DisplayList list;
    list.add(cmd::Alert{"Message", "", {{"OK", false}}});
    window->setDisplayHandler([&](Surface& s) { s.present(list); });
    WindowSystem::shared().runOnce(10ms);
    WindowSystem::shared().runOnce(10ms);
    // The only button spans the panel's width just above its bottom; scan for it.
    auto* gl = static_cast<GlWindow*>(window.get());
    for (int y = 140; y < 200 && events.empty(); y += 4) {
        gl->simulateMouseClick({200, static_cast<double>(y)});
        for (int i = 0; i < 3; ++i)
            WindowSystem::shared().runOnce(5ms);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].kind, InputEvent::Kind::AlertButton);
    EXPECT_EQ(events[0].index, 0);
}

TEST_F(WindowInput, ATextFieldEditsItsTextAndReportsEachChange) {
    auto window = open({300, 100});
    std::vector<InputEvent> events;
    record(*window, events);
    std::string text = "ab";
    window->setDisplayHandler([&](Surface& s) {
        DisplayList list;
        cmd::TextField field;
        field.id = "email";
        field.rect = {10, 10, 200, 24};
        field.text = text;
        field.placeholder = "Email";
        field.focused = true; // the toolkit gave it the keyboard
        field.color = RGBA::rgb(0x000000);
        list.add(field);
        s.present(list);
    });
    // Focus lands a frame after it was asked for.
    for (int i = 0; i < 4; ++i) {
        window->setNeedsDisplay();
        WindowSystem::shared().runOnce(5ms);
    }
    auto* gl = static_cast<GlWindow*>(window.get());
    gl->simulateText("c");
    ASSERT_TRUE(waitFor(events, InputEvent::Kind::TextEdited));
    const auto edit = std::find_if(events.begin(), events.end(), [](const InputEvent& e) {
        return e.kind == InputEvent::Kind::TextEdited;
    });
    EXPECT_EQ(edit->id, "email");
    EXPECT_EQ(edit->text, "abc");
    // Typed text went to the field, not to the tree as characters.
    EXPECT_TRUE(std::none_of(events.begin(), events.end(),
                             [](const InputEvent& e) { return e.kind == InputEvent::Kind::Character; }));
}

TEST_F(WindowInput, TheIconComesFromABundleImage) {
    auto window = open({100, 100});
    EXPECT_TRUE(window->setIconImage("AppIconMacOS"));
    EXPECT_FALSE(window->setIconImage("noSuchImage"));
}

} // namespace
