// Text fields in a real window, driven with the mouse and the keyboard as a user does: Ctrl+A then
// typing replaces the text, a click in an outlined entry's padding focuses it, a search field's
// text and focus ring stay clear of its clear button, a click in a text longer than its field
// puts the caret at the letter under the pointer, a drag after a double click goes by whole words,
// and a drag held beyond the field's side scrolls the text on to its end. A press counts where the
// pointer was pressed, however late the window gets to it, and where the pointer is in the window
// however the window got where it is: moved under a still pointer, dragged by the window manager
// with the pointer along, grown from its top-left corner, with a sheet open or the pointer outside;
// an open menu's highlight and a held drag follow the pointer there too.
#include "platform/render/ui/DesktopPasteboard.h"
#include "platform/render/ui/TreePainter.h"
#include "platform/ui/ScrollState.h"
#include "platform/ui/Toolkit.h"
#include "tests/render/DesktopProbe.h"
#include "tests/render_ui/HostWindowFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace plat;
using namespace plat::ui;
using namespace std::chrono_literals;
using plat::render::WindowSystem;
namespace cmd = plat::render::cmd;

struct SearchForm : Screen {
    State<std::string> email{std::string("someone@example.org")};
    State<std::string> term{std::string("a search text long enough to reach the end of the field")};
    AnyView body() const override {
        AnyView clear = If(!term().empty(), [this] {
            return Button([t = term] { t.set(std::string()); },
                          SystemImage("xmark.circle.fill").padding(Edge::Trailing, 8))
                .buttonStyle(ButtonStyle::Plain)
                .testId("clear");
        });
        return VStack(HAlign::Center, 20,
                      {TextField("Email", email.binding())
                           .textFieldStyle(TextFieldStyle::Plain)
                           .padding(Edge::Vertical, 10)
                           .padding(Edge::Horizontal, 16)
                           .background(ShapeView(Shape::roundedRectangle(2).stroked(Color::gray(), 1)))
                           .testId("emailBox")
                           .frame(300),
                       TextField("Search", term.binding())
                           .textFieldStyle(TextFieldStyle::RoundedBorder)
                           .overlay(clear, Alignment::trailing())
                           .frame(300)});
    }
};

class FieldWindowTest : public HostWindowFixture {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        // Real input (XTEST) reaches the window the window manager gave the keyboard to.
        REQUIRE_WINDOW_MANAGER();
        // What a field selects reaches the desktop's primary selection, as in the application.
        ASSERT_TRUE(plat::render::DesktopPasteboard::install());
        open(make<SearchForm>(), "Fields", /*followFocus=*/true);
    }
    // Runs the window's loop until `done`, with patience for a loaded machine.
    bool until(const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(done, testsupport::kPatience);
    }
    std::string email() { return host->require(Query::placeholder("Email")).value(); }
    // The Email field's caret and selection; an impossible one without the focus.
    FieldSelection selection() {
        return host->require(Query::placeholder("Email"))
            .fieldSelection()
            .value_or(FieldSelection{~0ul, ~0ul});
    }
    // The middle of letter `i` of `text` in the plain Email field, shown from its start.
    Point letter(const std::string& text, std::size_t i) {
        const NodeRef field = host->require(Query::placeholder("Email"));
        const Font font = field.environment().effectiveFont();
        const double x =
            (metrics.textWidth(text.substr(0, i), font) + metrics.textWidth(text.substr(0, i + 1), font)) / 2;
        return {field.frame().x + x, field.frame().center().y};
    }
    // The boundary before letter `i` of `text` in the plain Email field, shown from its start,
    // moved `by` points to the side.
    Point boundary(const std::string& text, std::size_t i, double by) {
        const NodeRef field = host->require(Query::placeholder("Email"));
        const Font font = field.environment().effectiveFont();
        return {field.frame().x + metrics.textWidth(text.substr(0, i), font) + by, field.frame().center().y};
    }
    // Real presses of the first button at `at`, the last one held; paced, with the window's loop
    // running, as the window manager holds the pointer while it takes a press (a release sent
    // meanwhile is lost). The window first draws what changed (a text just set): a slow frame
    // drawn between two presses would part them into two single clicks.
    void pointerPress(Point at, int presses) {
        ASSERT_TRUE(drawn());
        pointerTo(at);
        for (int i = 0; i < presses; ++i) {
            if (i > 0) input().button(1, false);
            input().button(1, true);
            WindowSystem::shared().runUntil([] { return false; }, 30ms);
        }
    }
    void pointerTo(Point at) {
        input().movePointer(static_cast<int>(gl().position().x + at.x),
                            static_cast<int>(gl().position().y + at.y));
    }

    plat::render::FontMetrics metrics;
};

TEST_F(FieldWindowTest, AClickInTheOutlinesPaddingFocusesAndCtrlAThenTypingReplaces) {
    const Rect box = host->require(Query::testId("emailBox")).frame();
    // Between the outline and the field itself.
    gl().simulateMouseClick({box.x + 5, box.center().y});
    ASSERT_TRUE(until([&] { return host->focused() == host->require(Query::placeholder("Email")); }));
    gl().simulateKey('A', plat::render::keys::ModControl);
    ASSERT_TRUE(until([&] { return host->focused().hasSelectedText(); }));
    gl().simulateText("me@velmora.example");
    ASSERT_TRUE(until([&] { return email() == "me@velmora.example"; })) << email();
}

TEST_F(FieldWindowTest, TheSearchTextAndFocusRingStayClearOfTheClearButton) {
    const NodeRef search = host->require(Query::placeholder("Search"));
    gl().simulateMouseClick(centre(search.frame()));
    ASSERT_TRUE(until([&] { return host->focused() == search; }));
    host->update();
    plat::render::TreePainter painter;
    painter.setFocusedField([h = host.get()] { return h->focused(); });
    host->render(painter);
    const auto& commands = painter.window().commands();
    const Rect clear = host->require(Query::testId("clear")).frame();
    const Rect field = search.frame();
    // The text is clipped before the button starts; the ring is the field's own outline, and
    // nothing the button draws is a filled bezel over it.
    bool clippedBeforeButton = false;
    bool ring = false;
    for (const auto& c : commands) {
        if (const auto* clip = std::get_if<cmd::PushClip>(&c))
            clippedBeforeButton |= clip->rect.x > field.x && clip->rect.x + clip->rect.width <= clear.x + 0.5;
        if (const auto* stroke = std::get_if<cmd::StrokeRect>(&c))
            ring |= stroke->lineWidth == 2 && stroke->rect.x + stroke->rect.width >= field.maxX() - 0.5;
        if (const auto* fill = std::get_if<cmd::FillRect>(&c)) {
            EXPECT_FALSE(fill->rect.x >= clear.x - 0.5 && fill->rect.y >= clear.y - 0.5 &&
                         fill->rect.width <= clear.width + 0.5 && fill->rect.width >= clear.width - 0.5)
                << "a bezel over the button's place";
        }
    }
    EXPECT_TRUE(clippedBeforeButton);
    EXPECT_TRUE(ring);
    // The clear button still answers its click.
    gl().simulateMouseClick(centre(clear));
    ASSERT_TRUE(until([&] { return search.value().empty(); }));
}

// A text longer than its field, clicked with the real pointer: the caret goes to the letter drawn
// under the pointer, whether the field had the focus (its view scrolled to the caret) or not (its
// view at the start), and the view stays where it was.
TEST_F(FieldWindowTest, AClickInALongTextPutsTheCaretAtTheLetterUnderThePointer) {
    const std::string address =
        "a.very.long.address.of.seventy.six.characters.that.overflows@example-mail.org";
    const NodeRef field = host->require(Query::placeholder("Email"));
    ASSERT_TRUE(host->setText(field, address));
    const Rect f = field.frame();
    const Point firstLetter{f.x + 2, f.center().y};
    auto caret = [&] { return host->focused() == field ? selection().caret : address.size(); };

    // Without the focus the field shows the start of its text.
    pointerClick(centre(host->require(Query::placeholder("Search")).frame()));
    ASSERT_TRUE(until([&] { return host->focused() == host->require(Query::placeholder("Search")); }));
    pointerClick(firstLetter);
    ASSERT_TRUE(until([&] { return host->focused() == field; }));
    EXPECT_LE(caret(), 1u) << "clicked on the first letter of the unfocused field";

    // Focused, with the caret at the end and the view scrolled there, Home brings the start back
    // into view; a click on the first letter then finds it there.
    input().key(XK_End);
    ASSERT_TRUE(until([&] { return caret() == address.size(); }));
    input().key(XK_Home);
    ASSERT_TRUE(until([&] { return caret() == 0; }));
    pointerClick({firstLetter.x + 30, firstLetter.y});
    ASSERT_TRUE(until([&] { return caret() != 0; }));
    EXPECT_LE(caret(), 8u) << "clicked 30 points into the start of the focused field";

    // Scrolled to its end, the text stays where it is when a click moves the caret into it: a
    // second click at the same point finds the same letter there.
    input().key(XK_End);
    ASSERT_TRUE(until([&] { return caret() == address.size(); }));
    const Point middle{f.center().x, f.center().y};
    pointerClick(middle);
    ASSERT_TRUE(until([&] { return caret() != address.size(); }));
    const std::size_t clicked = caret();
    input().key(XK_Right);
    ASSERT_TRUE(until([&] { return caret() == clicked + 1; }));
    pointerClick(middle);
    ASSERT_TRUE(until([&] { return caret() != clicked + 1; })) << "the view moved under the pointer";
    EXPECT_EQ(caret(), clicked);

    // The search field's text ends where its clear button starts: with all of it selected, the
    // caret at its end, a click just before the button finds the last letter there.
    const NodeRef search = host->require(Query::placeholder("Search"));
    const std::string term = search.value();
    pointerClick(centre(search.frame()));
    ASSERT_TRUE(until([&] { return host->focused() == search; }));
    input().key(XK_a, /*control=*/true);
    ASSERT_TRUE(until([&] {
        return search.fieldSelection()->start() == 0 && search.fieldSelection()->caret == term.size();
    }));
    pointerClick({host->require(Query::testId("clear")).frame().x - 2, search.frame().center().y});
    ASSERT_TRUE(until([&] { return search.fieldSelection()->empty(); }));
    EXPECT_GE(search.fieldSelection()->caret, term.size() - 1);
}

// A whole drag made while the window's loop is busy elsewhere (a slow frame on a crowded machine)
// reaches the window at once when the loop turns again: the press still counts where the pointer
// was pressed, not where the drag has taken it since.
TEST_F(FieldWindowTest, ADragTheWindowTakesLateSelectsFromWhereThePressWas) {
    const NodeRef field = host->require(Query::placeholder("Email"));
    const std::string text = "hello world foo";
    ASSERT_TRUE(host->setText(field, text));
    ASSERT_TRUE(until([&] { return !host->needsUpdate(); }));
    // No loop turn from the press to the release.
    pointerTo(boundary(text, 6, 2));
    input().button(1, true);
    for (int step = 1; step <= 4; ++step)
        pointerTo(boundary(text, 6 + step * 5 / 4, 0));
    pointerTo(boundary(text, 11, -2));
    input().button(1, false);
    EXPECT_TRUE(until([&] {
        return selection() == FieldSelection{6, 11};
    })) << "anchor "
        << selection().anchor << ", caret " << selection().caret;
}

// A double click takes a word ('.' parts words, as for the double click itself) and the drag that
// follows goes by whole words, keeping it; a drag held still beyond the field's side scrolls the
// text on to its end. Another program reads the selection (PRIMARY) each time.
TEST_F(FieldWindowTest, ADragAfterADoubleClickGoesByWordsAndOneHeldBeyondTheSideScrollsToTheEnd) {
    const NodeRef field = host->require(Query::placeholder("Email"));
    std::string text = "alpha beta.gamma delta";
    auto primary = [](const std::string& expected) {
        return testsupport::eventuallyEquals(
            expected, [] { return testsupport::runCommand("xclip -o -selection primary"); });
    };
    ASSERT_TRUE(host->setText(field, text));
    pointerPress(letter(text, 13), 2);
    ASSERT_TRUE(until([&] { return selection() == FieldSelection{11, 16}; }))
        << "anchor " << selection().anchor << ", caret " << selection().caret;
    pointerTo(letter(text, 10));
    pointerTo(letter(text, 7));
    EXPECT_TRUE(until([&] { return selection() == FieldSelection{16, 6}; })) << selection().caret;
    input().button(1, false);
    EXPECT_EQ(primary("beta.gamma"), "beta.gamma");

    text = "the.quick.brown.fox.jumps.over.the.lazy.dog.and.keeps.running.past.its.field@mail.org";
    ASSERT_TRUE(host->setText(field, text));
    input().key(XK_Home);
    ASSERT_TRUE(until([&] { return selection().caret == 0; }));
    pointerPress(letter(text, 2), 1);
    ASSERT_TRUE(until([&] { return selection().caret != 0; }));
    const std::size_t from = selection().anchor;
    pointerTo({field.frame().maxX() + 12, field.frame().center().y});
    EXPECT_TRUE(until([&] { return selection().caret == text.size(); }))
        << "stopped at " << selection().caret;
    input().button(1, false);
    EXPECT_EQ(primary(text.substr(from)), text.substr(from));
}

// An account menu, a list, the e-mail field and a Login button, one under the other, as in the
// sign-in window, and a sheet that can be shown over them.
struct SignInForm : Screen {
    SignInForm(std::shared_ptr<int> logins, std::shared_ptr<std::function<void(bool)>> showSheet)
        : logins(std::move(logins)), showSheet(std::move(showSheet)) {}
    std::shared_ptr<int> logins;                          // how often Login was pressed
    std::shared_ptr<std::function<void(bool)>> showSheet; // set here: shows or hides the sheet
    State<std::string> email{std::string("hello world foo")};
    State<bool> waiting{false};
    AnyView body() const override {
        *showSheet = [w = waiting](bool shown) { w.set(shown); };
        std::vector<AnyView> rows;
        for (int i = 0; i < 40; ++i)
            rows.push_back(Text(TextValue::verbatim("Row " + std::to_string(i))));
        auto item = [](const char* title) { return Button([] {}, Text(title)); };
        const TextValue account = TextValue::verbatim("Account");
        return VStack(HAlign::Center, 20,
                      {Menu(account, {item("Settings"), item("Devices"), item("Log out")}).testId("account"),
                       List(std::move(rows)).frame(300, 80),
                       TextField("Email", email.binding()).textFieldStyle(TextFieldStyle::Plain).frame(300),
                       Button([l = logins] { ++*l; }, Text("Login").frame(300, 30))
                           .buttonStyle(ButtonStyle::Plain)
                           .testId("login")})
            .sheet(waiting.binding(), [] { return AnyView(Text("Please wait").padding(20)); });
    }
};

class MovedWindowTest : public FieldWindowTest {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_WINDOW_MANAGER();
        probe = std::make_unique<rendertest::DesktopProbe>(std::getenv("DISPLAY"));
        open(make<SignInForm>(logins, showSheet), "Sign in", /*followFocus=*/true);
    }
    double listOffset() { return ScrollState::of(host->require(Query::kind(ViewKind::List)))->offset(); }
    // The form's window (not a sheet over it), and its content on the screen as the desktop has it.
    unsigned long formWindow() {
        for (const unsigned long w : probe->windowsOf(getpid()))
            if (probe->title(w) == "Sign in") return w;
        return 0;
    }
    rendertest::XRect onScreen() {
        const unsigned long w = formWindow();
        return w ? probe->contentRect(w) : rendertest::XRect{};
    }
    // Moves the window by (dx, dy) pixels, by the window manager on a pager's request or by the
    // window's own placement, and waits until it is there; the pointer does not move. What the
    // window manager tells the window of it is queued for the window before any input that follows.
    void moveBy(int dx, int dy, bool ownPlacement) {
        const rendertest::XRect from = onScreen();
        ASSERT_GT(from.width, 0) << "the window is not on the screen";
        const int x = from.x + dx, y = from.y + dy;
        if (ownPlacement)
            gl().setPosition({static_cast<double>(x), static_cast<double>(y)});
        else
            probe->move(formWindow(), x, y);
        ASSERT_TRUE(until([&] { return onScreen().x == x && onScreen().y == y; }))
            << "at " << onScreen().x << ", " << onScreen().y;
        ASSERT_TRUE(probe->windowManagerRoundTrip());
    }
    // Puts the window's content at (x, y) on the screen, clear of the screen's edges, against
    // which the window manager holds a window being dragged.
    void placeAt(int x, int y) {
        probe->move(formWindow(), x, y);
        ASSERT_TRUE(until([&] { return onScreen().x == x && onScreen().y == y; }))
            << "at " << onScreen().x << ", " << onScreen().y;
    }
    // The user holds Alt and drags with `button` from `at` in the content by (dx, dy): the window
    // manager moves the window with the pointer (the first button) or resizes it from the corner
    // nearest the pointer (the third). Returns once the window manager is done with it.
    void altDrag(Point at, int dx, int dy, int button) {
        const rendertest::XRect from = onScreen();
        const int x = from.x + static_cast<int>(at.x), y = from.y + static_cast<int>(at.y);
        input().drag(x, y, x + dx, y + dy, button, /*alt=*/true);
        ASSERT_TRUE(probe->windowManagerRoundTrip());
        const rendertest::XRect to = onScreen();
        ASSERT_EQ(std::make_pair(to.x, to.y), std::make_pair(from.x + dx, from.y + dy))
            << "the window manager did not take the content's corner along with the pointer";
    }
    // The pointer to `at` in the content, where the desktop has the window now (the window itself
    // may still be on its way to a place it asked for).
    void pointerTo(Point at) {
        const rendertest::XRect content = onScreen();
        input().movePointer(content.x + static_cast<int>(at.x), content.y + static_cast<int>(at.y));
    }
    // A click, or a wheel step down, with the pointer where it is.
    void stillClick() {
        input().button(1, true);
        input().button(1, false);
    }
    void stillWheel() {
        input().button(5, true);
        input().button(5, false);
    }
    // Waits until a click reached Login or the e-mail field; whether it was Login.
    bool clickedLogin(int before) {
        EXPECT_TRUE(until([&] { return *logins > before || selection().caret != ~0ul; }))
            << "the click was lost";
        return *logins == before + 1 && selection().caret == ~0ul;
    }

    // Whether the open menu draws `row` highlighted: filled with the accent colour, few of its
    // pixels stay as light as the panel.
    bool highlighted(const Rect& row) {
        window->display();
        int w = 0, h = 0;
        const auto pixels = gl().readPixels(&w, &h);
        const double scale = w / gl().contentSize().width;
        auto at = [&](double points, int limit) { return std::min(limit, static_cast<int>(points * scale)); };
        size_t lit = 0, all = 0;
        for (int y = at(row.y, h); y < at(row.maxY(), h); ++y)
            for (int x = at(row.x, w); x < at(row.maxX(), w); ++x, ++all) {
                const size_t i = static_cast<size_t>(y * w + x) * 4;
                lit += pixels[i] > 200 && pixels[i + 1] > 200 && pixels[i + 2] > 200;
            }
        return all > 0 && lit < all / 2;
    }

    std::shared_ptr<int> logins = std::make_shared<int>(0);
    std::shared_ptr<std::function<void(bool)>> showSheet = std::make_shared<std::function<void(bool)>>();
    std::unique_ptr<rendertest::DesktopProbe> probe;
};

// The pointer rests on Login; the window moves down under it until the e-mail field is there, then
// on until the list is. A press then acts on the letter under the pointer, not on Login, which the
// pointer left; the wheel scrolls the list the pointer is over now. The same whether the window
// manager or the window's own placement moved it.
TEST_F(MovedWindowTest, APressAndTheWheelActWhereThePointerIsAfterTheWindowMovedUnderIt) {
    const std::string text = email();
    const double field = host->require(Query::placeholder("Email")).frame().center().y;
    const double login = centre(host->require(Query::testId("login")).frame()).y;
    const double list = host->require(Query::kind(ViewKind::List)).frame().center().y;
    for (const bool ownPlacement : {false, true}) {
        SCOPED_TRACE(ownPlacement ? "moved by the window itself" : "moved by the window manager");
        const std::size_t letter = ownPlacement ? 12 : 6;
        // The pointer goes to Login, at the x of the letter boundary it will find in the field.
        pointerTo({boundary(text, letter, 2).x, login});
        moveBy(0, static_cast<int>(login - field), ownPlacement);
        input().button(1, true);
        input().button(1, false);
        ASSERT_TRUE(until([&] { return selection().caret == letter || *logins > 0; }));
        EXPECT_EQ(selection(), (FieldSelection{letter, letter}));
        ASSERT_EQ(*logins, 0) << "Login, no longer under the pointer, was pressed";

        const double scrolled = listOffset();
        moveBy(0, static_cast<int>(field - list), ownPlacement);
        input().button(5, true); // the wheel, one step down
        input().button(5, false);
        EXPECT_TRUE(until([&] { return listOffset() > scrolled; })) << "the list under the pointer";
    }
}

// The user drags the window with Alt held, the pointer along with it: the window manager reports
// the move only at the end, after the pointer came back into the window where it had left it.
// A still click then acts on what the pointer carried along, as does the wheel.
TEST_F(MovedWindowTest, AfterAnAltDragAStillClickActsOnWhatThePointerCarriedAlong) {
    placeAt(400, 360);
    const std::string text = email();
    const double field = host->require(Query::placeholder("Email")).frame().center().y;
    const double login = centre(host->require(Query::testId("login")).frame()).y;
    const double list = host->require(Query::kind(ViewKind::List)).frame().center().y;
    const double x = boundary(text, 6, 2).x;
    const int step = static_cast<int>(login - field);

    altDrag({x, login}, 0, step, 1); // down, with the pointer on Login
    stillClick();
    EXPECT_TRUE(clickedLogin(0)) << "caret " << selection().caret;

    const int before = *logins;
    const double other = boundary(text, 12, 2).x; // up, with the pointer on the e-mail field
    pointerTo({other, field});
    altDrag({other, field}, 0, -step, 1);
    stillClick();
    ASSERT_TRUE(until([&] { return selection().caret == 12 || *logins > before; }));
    EXPECT_EQ(*logins, before) << "Login, which the pointer never was on, was pressed";
    // What is typed then goes to that field.
    input().key(XK_z);
    EXPECT_TRUE(until([&] { return email() == "hello world zfoo"; })) << email();

    const double scrolled = listOffset();
    altDrag({x, list}, 0, 100, 1);
    stillWheel();
    EXPECT_TRUE(until([&] { return listOffset() > scrolled; })) << "the list under the pointer";
}

// The user resizes the window from its top-left corner (Alt and the third button): the content's
// corner moves with the pointer, and what the pointer is over changes as the content is laid out
// again. A click over nothing there, then typing, changes nothing; Login, clicked after, counts.
TEST_F(MovedWindowTest, AfterAResizeFromTheTopLeftCornerAClickActsWhereThePointerIs) {
    placeAt(500, 400);
    const std::string text = email();
    const double fieldTop = host->require(Query::placeholder("Email")).frame().y;
    altDrag({20, 75}, -100, -200, 3);
    // Laid out again, in the middle of the larger window.
    ASSERT_TRUE(until([&] { return host->require(Query::placeholder("Email")).frame().y == fieldTop + 100; }))
        << host->require(Query::placeholder("Email")).frame().y;
    stillClick();
    pointerTo(centre(host->require(Query::testId("login")).frame()));
    stillClick();
    ASSERT_TRUE(until([&] { return *logins > 0; }));
    EXPECT_EQ(selection().caret, ~0ul) << "the click over nothing went to the e-mail field";
}

// After the window moved under a still pointer, by the window manager or by its own placement,
// the pointer goes back onto the place in the window it was on before, in one motion (as touch
// screens, remote desktops and automation do), or leaves the window and comes back there: a click
// there acts on what is there.
TEST_F(MovedWindowTest, APointerBackOnItsOldPlaceInTheWindowAfterAMoveActsThere) {
    placeAt(400, 360);
    const std::string text = email();
    const double field = host->require(Query::placeholder("Email")).frame().center().y;
    const Point onLogin{boundary(text, 6, 2).x, centre(host->require(Query::testId("login")).frame()).y};
    const int step = static_cast<int>(onLogin.y - field);
    int pressed = 0;
    for (const bool ownPlacement : {false, true}) {
        SCOPED_TRACE(ownPlacement ? "moved by the window itself" : "moved by the window manager");
        pointerTo(onLogin);
        ASSERT_TRUE(until([&] { return !host->needsUpdate(); }));
        moveBy(0, step, ownPlacement);
        pointerTo(onLogin); // back on Login, which the move took from under the pointer
        stillClick();
        EXPECT_TRUE(clickedLogin(pressed++)) << "caret " << selection().caret;
        moveBy(0, -step, ownPlacement);
    }
    // Out of the window, the window moves, and back to where it left.
    pointerTo(onLogin);
    ASSERT_TRUE(until([&] { return !host->needsUpdate(); }));
    input().movePointer(onScreen().x - 60, onScreen().y + static_cast<int>(onLogin.y));
    moveBy(0, step, false);
    pointerTo(onLogin);
    stillClick();
    EXPECT_TRUE(clickedLogin(pressed++)) << "after it left, caret " << selection().caret;
    // The window moves away from under the pointer, which follows it back to the same place.
    moveBy(0, -step, false);
    pointerTo(onLogin);
    ASSERT_TRUE(until([&] { return !host->needsUpdate(); }));
    moveBy(0, 360, false);
    pointerTo(onLogin);
    stillClick();
    EXPECT_TRUE(clickedLogin(pressed++)) << "after the window left it, caret " << selection().caret;
}

// An open menu, the pointer on its second row: the window moves down one row under the still
// pointer, by the window manager or by its own placement, and the first row, now under the
// pointer, is highlighted. The pointer then goes back in one motion onto its old place in the
// window (a motion the window library does not report): the second row is highlighted again.
TEST_F(MovedWindowTest, AnOpenMenuHighlightsTheRowUnderThePointerAfterTheWindowMoved) {
    placeAt(400, 360);
    pointerTo(centre(host->require(Query::testId("account")).frame()));
    stillClick();
    ASSERT_TRUE(until([&] { return bool(host->menuPopup()); }));
    const auto rows = host->menuPopup()->rows;
    const int step = static_cast<int>(rows[1].frame.y - rows[0].frame.y);
    for (const bool ownPlacement : {false, true}) {
        SCOPED_TRACE(ownPlacement ? "moved by the window itself" : "moved by the window manager");
        pointerTo(centre(rows[1].frame));
        ASSERT_TRUE(until([&] { return highlighted(rows[1].frame) && !highlighted(rows[0].frame); }));
        moveBy(0, step, ownPlacement);
        EXPECT_TRUE(until([&] { return highlighted(rows[0].frame) && !highlighted(rows[1].frame); }))
            << "the highlight stayed where the move took the row from under the pointer";
        pointerTo(centre(rows[1].frame));
        EXPECT_TRUE(until([&] { return highlighted(rows[1].frame) && !highlighted(rows[0].frame); }))
            << "the highlight stayed where the move left the pointer";
        moveBy(0, -step, ownPlacement);
    }
}

// The user presses in the e-mail field and holds the button; the window moves right under the
// pointer, and the drag follows the pointer's new place in the window, to the press's left. The
// pointer comes back onto the press's place in the window in one motion and is let go there: that
// selects nothing, and a letter typed goes in at the press.
TEST_F(MovedWindowTest, ADragBackOntoItsStartAfterTheWindowMovedSelectsNothing) {
    placeAt(400, 360);
    const std::string text = email();
    const Point start = boundary(text, 6, 2);
    pointerTo(start);
    input().button(1, true); // let go below whatever fails, for the tests that follow
    EXPECT_TRUE(until([&] { return selection() == FieldSelection{6, 6}; }));
    moveBy(40, 0, false);
    EXPECT_TRUE(until([&] { return !selection().empty(); })) << "the drag did not follow the move";
    pointerTo(start);
    input().button(1, false);
    input().key(XK_z);
    EXPECT_TRUE(until([&] { return email() != text; }));
    EXPECT_EQ(email(), "hello zworld foo");
}

// A sheet is open while the user drags the window with Alt held, the pointer on Login; once the
// sheet is closed, a still click presses Login.
TEST_F(MovedWindowTest, AfterAnAltDragUnderASheetAStillClickActsOnWhatThePointerCarriedAlong) {
    placeAt(400, 360);
    const std::string text = email();
    const double field = host->require(Query::placeholder("Email")).frame().center().y;
    const Point onLogin{boundary(text, 6, 2).x, centre(host->require(Query::testId("login")).frame()).y};
    (*showSheet)(true);
    ASSERT_TRUE(until([&] { return window->sheetCount() == 1; }));
    altDrag(onLogin, 0, static_cast<int>(onLogin.y - field), 1);
    (*showSheet)(false);
    ASSERT_TRUE(until([&] { return window->sheetCount() == 0 && !host->needsUpdate(); }));
    stillClick();
    EXPECT_TRUE(clickedLogin(0)) << "caret " << selection().caret;
}

} // namespace
