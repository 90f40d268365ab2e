// Text fields as a user meets them: Command-A selects the whole text (typing replaces it, deleting
// clears it), the caret that the arrows, Home and End, Command with the arrows and clicks move, with
// Shift stretching the selection, cut, copy and paste through the pasteboards (never out of a secure
// or privacy-sensitive field; a paste lands when the board's owner answers), undo and redo, the
// middle click that pastes the selection, a click inside the outline drawn around a padded field
// focuses the field, the pointer's press, drag, Shift and double and triple presses (a drag after
// them going by words or keeping the whole text), a drag held beyond the field's side scrolling its
// text on, and a list told to follow a key (a search text) starts again at its first row when the
// key changes.
#include "UITestSupport.h"

#include "platform/dispatch/Scheduler.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

const KeyEvent kSelectAll = KeyEvent::typed("a", KeyModifiers::Command);
const KeyEvent kCut = KeyEvent::typed("x", KeyModifiers::Command);
const KeyEvent kCopy = KeyEvent::typed("c", KeyModifiers::Command);
const KeyEvent kPaste = KeyEvent::typed("v", KeyModifiers::Command);
const KeyEvent kUndo = KeyEvent::typed("z", KeyModifiers::Command);
const KeyEvent kRedo = KeyEvent::typed("z", KeyModifiers::Command | KeyModifiers::Shift);

// A plain field padded inside a drawn outline, as a sign-in form draws its entries.
AnyView outlined(AnyView field) {
    return field.textFieldStyle(TextFieldStyle::Plain)
        .padding(Edge::Vertical, 10)
        .padding(Edge::Horizontal, 16)
        .background(ShapeView(Shape::roundedRectangle(2).stroked(Color::gray(), 1)));
}

struct Entries : Screen {
    State<std::string> email{std::string("someone@example.org")};
    State<std::string> password{std::string()};
    AnyView body() const override {
        return VStack(HAlign::Center, 20,
                      {outlined(TextField("Email", email.binding())).testId("emailBox"),
                       outlined(SecureField("Password", password.binding())).testId("passwordBox"),
                       outlined(HStack({TextField("A", email.binding()), TextField("B", password.binding())}))
                           .testId("twoFields")});
    }
};

TEST_F(UITest, CommandASelectsTheWholeTextWhichTypingReplacesAndDeletingClears) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    EXPECT_FALSE(host.keyDown(kSelectAll)) << "nothing to select without a focused field";

    ASSERT_TRUE(host.type(email, ".uk"));
    EXPECT_EQ(email.value(), "someone@example.org.uk");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    EXPECT_TRUE(host.focused().hasSelectedText());
    ASSERT_TRUE(host.insertText("n"));
    EXPECT_EQ(email.value(), "n") << "the selection is replaced";
    EXPECT_FALSE(host.focused().hasSelectedText());
    ASSERT_TRUE(host.insertText("o"));
    EXPECT_EQ(email.value(), "no") << "later typing goes after it";

    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.pressKey(Key::Backspace));
    EXPECT_EQ(email.value(), "");
    ASSERT_TRUE(host.insertText("abc"));
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.pressKey(Key::Delete));
    EXPECT_EQ(email.value(), "");

    // A click into the field ends the selection; Tab to the next field too.
    ASSERT_TRUE(host.insertText("abc"));
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.mouseClick(email.frame().center()));
    EXPECT_FALSE(host.focused().hasSelectedText());
    ASSERT_TRUE(host.insertText("d"));
    EXPECT_EQ(email.value(), "abcd");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.pressKey(Key::Tab));
    ASSERT_TRUE(host.insertText("x"));
    EXPECT_EQ(email.value(), "abcd");
    EXPECT_EQ(host.require(Query::placeholder("Password")).value(), "x");
}

TEST_F(UITest, TheCaretMovesByCharacterWordAndEndAndEditsHappenWhereItStands) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.setText(email, "one two"));
    ASSERT_TRUE(host.pressKey(Key::Left));
    ASSERT_TRUE(host.insertText("Z"));
    EXPECT_EQ(email.value(), "one twZo");
    ASSERT_TRUE(host.pressKey(Key::Home));
    ASSERT_TRUE(host.insertText("A"));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Command)); // at the start already: stays
    ASSERT_TRUE(host.pressKey(Key::End));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Command));
    ASSERT_TRUE(host.insertText("-"));
    ASSERT_TRUE(host.pressKey(Key::Right, KeyModifiers::Command));
    ASSERT_TRUE(host.insertText("!"));
    EXPECT_EQ(email.value(), "Aone -twZo!");

    // Backspace and Delete take whole characters on either side of the caret.
    ASSERT_TRUE(host.setText(email, "a\u00e9\u20acb"));
    ASSERT_TRUE(host.pressKey(Key::Left));
    ASSERT_TRUE(host.pressKey(Key::Backspace));
    EXPECT_EQ(email.value(), "a\u00e9b");
    ASSERT_TRUE(host.pressKey(Key::Home));
    ASSERT_TRUE(host.pressKey(Key::Right));
    ASSERT_TRUE(host.pressKey(Key::Delete));
    EXPECT_EQ(email.value(), "ab");

    // Undo puts the caret back after what it restored; typing there is a new edit.
    ASSERT_TRUE(host.pressKey(Key::Home));
    ASSERT_TRUE(host.insertText("xy"));
    ASSERT_TRUE(host.keyDown(kUndo));
    ASSERT_TRUE(host.insertText("q"));
    EXPECT_EQ(email.value(), "qab");
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "ab");

    // A click puts the caret at the nearest boundary (each character 6.5 points wide here).
    ASSERT_TRUE(host.mouseClick({email.frame().x + 7, email.frame().center().y}));
    ASSERT_TRUE(host.insertText("c"));
    EXPECT_EQ(email.value(), "acb");

    // A secure field tells no words apart: Command with an arrow goes to its end.
    ASSERT_TRUE(host.type(password, "ab cd"));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Command));
    ASSERT_TRUE(host.insertText("x"));
    EXPECT_EQ(password.value(), "xab cd");
}

TEST_F(UITest, ShiftStretchesTheSelectionWhichArrowsEndAndTypingReplaces) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    ASSERT_TRUE(host.setText(email, "one two three"));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Shift | KeyModifiers::Command));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Shift));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{13, 7}));
    EXPECT_EQ(Pasteboard::selection().string(), " three") << "offered as the desktop's selection";
    // The arrow ends the selection at its own side.
    ASSERT_TRUE(host.pressKey(Key::Right));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{13, 13}));
    ASSERT_TRUE(host.pressKey(Key::Home, KeyModifiers::Shift));
    ASSERT_TRUE(host.pressKey(Key::Right, KeyModifiers::Shift | KeyModifiers::Command));
    ASSERT_TRUE(host.insertText("!"));
    EXPECT_EQ(email.value(), "one!") << "from the end of the first word to where the stretch began";
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.pressKey(Key::Left));
    ASSERT_TRUE(host.insertText("<"));
    EXPECT_EQ(email.value(), "<one!");

    // A cut takes the selected part only.
    ASSERT_TRUE(host.pressKey(Key::Right, KeyModifiers::Shift | KeyModifiers::Command));
    ASSERT_TRUE(host.keyDown(kCut));
    EXPECT_EQ(email.value(), "<!");
    EXPECT_EQ(Pasteboard::general().string(), "one");
}

struct Revealed : Screen {
    State<std::string> password{std::string("hunter22")};
    AnyView body() const override { return TextField("Password", password.binding()).privacySensitive(); }
};

TEST_F(UITest, APrivacySensitiveFieldOffersNothingAndAClearedFieldGivesItsSelectionUp) {
    Host host(make<Revealed>());
    host.update();
    const NodeRef field = host.require(Query::placeholder("Password"));
    Pasteboard::selection().setString("before");
    Pasteboard::general().setString("elsewhere");
    ASSERT_TRUE(host.click(field));
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kCopy));
    ASSERT_TRUE(host.pressKey(Key::Left, KeyModifiers::Shift));
    EXPECT_EQ(Pasteboard::selection().string(), "before");
    EXPECT_EQ(Pasteboard::general().string(), "elsewhere");

    Host plain(make<Entries>());
    plain.update();
    const NodeRef email = plain.require(Query::placeholder("Email"));
    ASSERT_TRUE(plain.click(email));
    ASSERT_TRUE(plain.keyDown(kSelectAll));
    Pasteboard::reviewOffers();
    EXPECT_EQ(Pasteboard::selection().string(), "someone@example.org") << "still shown";
    email.data().controls->textBinding->set("");
    plain.update();
    Pasteboard::reviewOffers();
    EXPECT_FALSE(Pasteboard::selection().string());
}

// Boards whose owner answers only when the test says so.
struct SlowBoards : Pasteboard::Backend {
    std::vector<Pasteboard::Answer> waiting;
    std::optional<std::string> read(PasteboardName) override { return std::nullopt; }
    void request(PasteboardName, Pasteboard::Answer done) override { waiting.push_back(std::move(done)); }
    void write(PasteboardName, const std::string&) override {}
};

TEST_F(UITest, APasteLandsWhenTheOwnerAnswersAndOnlyInTheFieldStillFocused) {
    auto boards = std::make_shared<SlowBoards>();
    Pasteboard::setBackend(boards);
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.setText(email, "ab"));
    ASSERT_TRUE(host.pressKey(Key::Left));
    ASSERT_TRUE(host.keyDown(kPaste));
    ASSERT_TRUE(host.keyDown(kPaste));
    ASSERT_EQ(boards->waiting.size(), 2u);
    EXPECT_EQ(email.value(), "ab") << "nothing yet";
    boards->waiting[0](std::nullopt); // no answer in time
    boards->waiting[1](std::string("Z"));
    host.update();
    EXPECT_EQ(email.value(), "aZb");

    ASSERT_TRUE(host.keyDown(kPaste));
    ASSERT_TRUE(host.click(password));
    boards->waiting[2](std::string("late"));
    host.update();
    EXPECT_EQ(email.value(), "aZb");
    EXPECT_EQ(password.value(), "");
}

TEST_F(UITest, CutCopyAndPasteGoThroughTheGeneralPasteboard) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    EXPECT_FALSE(host.keyDown(kPaste)) << "no focused field takes a paste";

    ASSERT_TRUE(host.click(email));
    ASSERT_TRUE(host.keyDown(kCopy));
    EXPECT_FALSE(Pasteboard::general().string()) << "nothing is selected, nothing is copied";
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kCopy));
    EXPECT_EQ(Pasteboard::general().string(), "someone@example.org");
    EXPECT_EQ(email.value(), "someone@example.org") << "copying leaves the text";
    ASSERT_TRUE(host.keyDown(kCut));
    EXPECT_EQ(email.value(), "");
    EXPECT_EQ(Pasteboard::general().string(), "someone@example.org");

    // A paste goes in at the caret, or over the selected text.
    Pasteboard::general().setString("a@b.org");
    ASSERT_TRUE(host.insertText("x"));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "xa@b.org");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "a@b.org");
    // Text copied with its line break (or several lines) fits the one-line field.
    Pasteboard::general().setString("\r\nme@example.org\n");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "me@example.org");
    Pasteboard::general().setString("one\r\ntwo\tthree");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "one two three");
    // A text no one-line field holds is not pasted at all.
    Pasteboard::general().setString(std::string(1 << 20, 'x'));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "one two three");

    // A secure field takes a paste but gives nothing out, and offers no selection either.
    Pasteboard::general().setString("hunter22");
    Pasteboard::selection().setString("before");
    ASSERT_TRUE(host.click(password));
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(password.value(), "hunter22");
    Pasteboard::general().setString("elsewhere");
    ASSERT_TRUE(host.keyDown(kSelectAll));
    EXPECT_EQ(Pasteboard::selection().string(), "before");
    ASSERT_TRUE(host.keyDown(kCopy));
    ASSERT_TRUE(host.keyDown(kCut));
    EXPECT_EQ(Pasteboard::general().string(), "elsewhere");
    EXPECT_EQ(password.value(), "hunter22") << "a cut out of a secure field removes nothing";
}

TEST_F(UITest, SelectingOffersTheTextAsTheSelectionWhichAMiddleClickPastes) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.click(email));
    ASSERT_TRUE(host.keyDown(kSelectAll));
    EXPECT_EQ(Pasteboard::selection().string(), "someone@example.org");
    EXPECT_FALSE(Pasteboard::general().string()) << "selecting is not copying";

    // The middle click focuses the field under the pointer and pastes there.
    ASSERT_TRUE(host.middleClick(password.frame().center()));
    EXPECT_EQ(host.focused(), password);
    EXPECT_EQ(password.value(), "someone@example.org");
    EXPECT_FALSE(host.middleClick({1, 1})) << "no field there";
    // Also inside the outline drawn around a padded field.
    const Rect box = host.require(Query::testId("emailBox")).frame();
    ASSERT_TRUE(host.middleClick({box.x + 4, box.center().y}));
    EXPECT_EQ(email.value(), "someone@example.orgsomeone@example.org");
}

TEST_F(UITest, UndoRestoresTheTextBeforeEachEditAndRedoGoesForwardAgain) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.type(email, ".uk"));
    ASSERT_TRUE(host.pressKey(Key::Backspace));
    ASSERT_TRUE(host.pressKey(Key::Backspace));
    Pasteboard::general().setString("!");
    ASSERT_TRUE(host.keyDown(kPaste));
    EXPECT_EQ(email.value(), "someone@example.org.!");

    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "someone@example.org.") << "the paste";
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "someone@example.org.uk") << "the run of deletes";
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "someone@example.org") << "the run of typing";
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "someone@example.org") << "nothing older";
    ASSERT_TRUE(host.keyDown(kRedo));
    ASSERT_TRUE(host.keyDown(kRedo));
    EXPECT_EQ(email.value(), "someone@example.org.");
    // A new edit ends what could be redone.
    ASSERT_TRUE(host.insertText("x"));
    ASSERT_TRUE(host.keyDown(kRedo));
    EXPECT_EQ(email.value(), "someone@example.org.x");

    // A cut of the whole text is undone; a secure field's edits too.
    ASSERT_TRUE(host.keyDown(kSelectAll));
    ASSERT_TRUE(host.keyDown(kCut));
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "someone@example.org.x");
    ASSERT_TRUE(host.type(password, "pw"));
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(password.value(), "");

    // The history is the field's: another field's, or a text changed by the program, drops it.
    ASSERT_TRUE(host.type(email, "y"));
    email.data().controls->textBinding->set("set by the program");
    host.update();
    ASSERT_TRUE(host.keyDown(kUndo));
    EXPECT_EQ(email.value(), "set by the program");
}

TEST_F(UITest, AClickInsideAFieldsOutlineFocusesIt) {
    Host host(make<Entries>());
    host.update();
    const Rect box = host.require(Query::testId("emailBox")).frame();
    const Rect field = host.require(Query::placeholder("Email")).frame();
    // In the padding between the outline and the field: left of it, and below it.
    ASSERT_TRUE(host.mouseClick({box.x + 4, box.center().y}));
    EXPECT_EQ(host.focused(), host.require(Query::placeholder("Email")));
    ASSERT_TRUE(host.mouseClick({field.center().x, field.maxY() + 4}));
    EXPECT_EQ(host.focused(), host.require(Query::placeholder("Email")));
    const Rect password = host.require(Query::testId("passwordBox")).frame();
    ASSERT_TRUE(host.mouseClick({password.maxX() - 3, password.y + 3}));
    EXPECT_EQ(host.focused(), host.require(Query::placeholder("Password")));

    // Outside every outline the focus goes; an outline around two fields picks neither.
    EXPECT_FALSE(host.mouseClick({box.x + 4, box.maxY() + 10}));
    EXPECT_FALSE(host.focused());
    const Rect two = host.require(Query::testId("twoFields")).frame();
    EXPECT_FALSE(host.mouseClick({two.x + 4, two.center().y}));
    EXPECT_FALSE(host.focused());
}

TEST_F(UITest, ThePointerPutsTheCaretSelectsByDraggingShiftAndRepeatedPressesAndOffersTheSelection) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.setText(email, "hello world foo"));
    ASSERT_TRUE(host.click(password));
    // Over the boundary after `chars` characters (each 6.5 points wide here).
    auto at = [&](const NodeRef& field, double chars) {
        return Point{field.frame().x + chars * 6.5, field.frame().center().y};
    };
    Pasteboard::selection().setString("before");

    // The press focuses the field with the caret under it; the drag selects up to the pointer, which
    // is offered as the desktop's selection, copied by Command-C and replaced by typing.
    ASSERT_TRUE(host.mouseDown(at(email, 6.2)));
    EXPECT_EQ(host.focused(), email);
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{6, 6}));
    EXPECT_TRUE(host.mouseDragged(at(email, 20)));
    EXPECT_TRUE(host.mouseDragged(at(email, 10.8)));
    host.mouseUp(at(email, 10.8));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{6, 11}));
    EXPECT_EQ(Pasteboard::selection().string(), "world");
    ASSERT_TRUE(host.keyDown(kCopy));
    EXPECT_EQ(Pasteboard::general().string(), "world");

    // Shift stretches the selection from where it began; the second press of a series takes the
    // word under the pointer (or the spaces there), the third the whole text.
    ASSERT_TRUE(host.mouseDown(at(email, 13), KeyModifiers::Shift));
    host.mouseUp(at(email, 13));
    EXPECT_EQ(Pasteboard::selection().string(), "world f");
    ASSERT_TRUE(host.mouseDown(at(email, 1.9), KeyModifiers::None, 2));
    host.mouseUp(at(email, 1.9));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{0, 5}));
    ASSERT_TRUE(host.mouseDown(at(email, 5.5), KeyModifiers::None, 2));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{5, 6}));
    ASSERT_TRUE(host.mouseDown(at(email, 5.5), KeyModifiers::None, 3));
    host.mouseUp(at(email, 5.5));
    EXPECT_EQ(Pasteboard::selection().string(), "hello world foo");
    ASSERT_TRUE(host.mouseDown(at(email, 3)));
    host.mouseDragged(at(email, 1));
    host.mouseUp(at(email, 1));
    ASSERT_TRUE(host.insertText("#"));
    EXPECT_EQ(email.value(), "h#lo world foo");

    // Dragged past the field's side, the text beyond it comes into view and is selected.
    ASSERT_TRUE(host.setText(email, std::string(200, 'a')));
    ASSERT_TRUE(host.pressKey(Key::Home));
    const Rect f = email.frame();
    ASSERT_LT(f.width, 200 * 6.5);
    ASSERT_TRUE(host.mouseDown(at(email, 0)));
    host.mouseDragged({f.maxX() + 20, f.center().y});
    const std::size_t first = host.focused().fieldSelection()->caret;
    EXPECT_GT(first * 6.5, f.width);
    EXPECT_GT(email.fieldTextScroll(), 0);
    host.mouseDragged({f.maxX() + 30, f.center().y});
    EXPECT_GT(host.focused().fieldSelection()->caret, first);
    host.mouseUp({f.maxX() + 30, f.center().y});

    // A secure field selects by the pointer too, and offers none of it.
    Pasteboard::selection().setString("before");
    ASSERT_TRUE(host.type(password, "hunter22"));
    ASSERT_TRUE(host.mouseDown(at(password, 1)));
    host.mouseDragged(at(password, 6));
    host.mouseUp(at(password, 6));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{1, 6}));
    ASSERT_TRUE(host.mouseDown(at(password, 2), KeyModifiers::None, 2));
    EXPECT_EQ(host.focused().fieldSelection(), (FieldSelection{0, 8})) << "no words in a secure field";
    EXPECT_EQ(Pasteboard::selection().string(), "before");
}

// After a double press a drag goes by whole words ('.' parts them, as for the press), keeping the
// word pressed; after a triple press it keeps the whole text; in a secure field it tells no words
// apart.
TEST_F(UITest, ADragAfterADoubleOrTriplePressGoesByWordsOrKeepsTheWholeText) {
    Host host(make<Entries>());
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    ASSERT_TRUE(host.setText(email, "alpha beta.gamma delta"));
    auto at = [](const NodeRef& field, double chars) {
        return Point{field.frame().x + chars * 6.5, field.frame().center().y};
    };
    auto selection = [&] { return host.focused().fieldSelection(); };
    ASSERT_TRUE(host.mouseDown(at(email, 13.5), KeyModifiers::None, 2));
    host.mouseDragged(at(email, 7.5));
    EXPECT_EQ(selection(), (FieldSelection{16, 6}));
    EXPECT_EQ(Pasteboard::selection().string(), "beta.gamma");
    host.mouseDragged(at(email, 12.5));
    EXPECT_EQ(selection(), (FieldSelection{11, 16}));
    host.mouseDragged(at(email, 18.5));
    EXPECT_EQ(selection(), (FieldSelection{11, 22}));
    ASSERT_TRUE(host.mouseDown(at(email, 19.5), KeyModifiers::None, 3));
    host.mouseDragged(at(email, 2.5));
    EXPECT_EQ(Pasteboard::selection().string(), "alpha beta.gamma delta");

    const NodeRef password = host.require(Query::placeholder("Password"));
    ASSERT_TRUE(host.type(password, "hunter2 two"));
    ASSERT_TRUE(host.mouseDown(at(password, 2.5), KeyModifiers::None, 2));
    host.mouseDragged(at(password, 9.5));
    EXPECT_EQ(selection(), (FieldSelection{0, 11}));
}

// Held still beyond a side, a drag scrolls the text on with each tick of the clock, at least a
// character a tick (a word after a double press), until its end, the pointer's return or the release.
TEST_F(UITest, ADragHeldBeyondAFieldsSideScrollsOnUntilTheEndThePointersReturnOrTheRelease) {
    ManualScheduler clock;
    Host host(make<Entries>(), {.scheduler = &clock});
    host.update();
    const NodeRef email = host.require(Query::placeholder("Email"));
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "word.";
    ASSERT_TRUE(host.setText(email, text));
    ASSERT_TRUE(host.pressKey(Key::Home));
    const Rect f = email.frame();
    ASSERT_LT(f.width, text.size() * 6.5);
    auto caret = [&] { return host.focused().fieldSelection()->caret; };
    auto tick = [&] {
        clock.advance(Host::kFieldScrollInterval);
        RunLoop::main().drain();
        return caret();
    };
    ASSERT_TRUE(host.mouseDown({f.x, f.center().y}));
    host.mouseDragged({f.maxX() + 13, f.center().y});
    for (std::size_t last = caret(); last < text.size(); last = caret())
        ASSERT_GT(tick(), last);
    EXPECT_EQ(Pasteboard::selection().string(), text);
    host.mouseDragged(f.center());
    const std::size_t inside = caret();
    EXPECT_EQ(tick(), inside) << "back over the text";
    host.mouseDragged({f.x - 1, f.center().y});
    for (std::size_t last = caret(); last > 0; last = caret())
        ASSERT_EQ(tick(), last - 1) << "a point beyond the start, a character a tick";
    host.mouseUp({f.x - 1, f.center().y});
    EXPECT_EQ(clock.pendingCount(), 0u) << "released";

    ASSERT_TRUE(host.mouseDown({f.x + 6.5, f.center().y}, KeyModifiers::None, 2));
    host.mouseDragged({f.maxX() + 1, f.center().y});
    for (std::size_t last = caret(); last < text.size(); last = caret())
        ASSERT_EQ(tick() % 5, last % 5 == 4 ? 0u : 4u) << "by words and dots, from " << last;
}

struct Searchable : Screen {
    State<std::string> term{std::string()};
    AnyView body() const override {
        std::vector<int> shown;
        for (int i = 0; i < 60; ++i)
            if (term().empty() || (i % 2 == 0 && term() == "even") || (i % 3 == 0 && term() == "thirds"))
                shown.push_back(i);
        AnyView rows = ForEach(
            shown, [](int i) { return i; },
            [](int i) { return VerbatimText("row " + std::to_string(i)).frame(std::nullopt, 30); });
        return VStack({TextField("Search", term.binding()),
                       List({rows}).scrollsToTopOnChange(term()).testId("list").frame(std::nullopt, 200)});
    }
};

TEST_F(UITest, AListFollowingTheSearchTextStartsAgainAtItsFirstRow) {
    Host host(make<Searchable>(), {.contentSize = {300, 260}});
    host.update();
    const NodeRef list = host.require(Query::testId("list")).find(Query::kind(ViewKind::List));
    // The top of the first row's frame (4 points below the list's top when scrolled to the start).
    auto firstRowTop = [&] { return host.require(Query::text("row 0")).parent().frame().y; };
    ASSERT_TRUE(host.scrollWheel(list.frame().center(), -10));
    const double scrolled = host.require(Query::text("row 0")).frame().y;
    EXPECT_LT(scrolled, list.frame().y) << "the first row went out of view";

    ASSERT_TRUE(host.type(host.require(Query::placeholder("Search")), "even"));
    EXPECT_NEAR(firstRowTop(), list.frame().y + 4, 0.01) << "the first match is the first row shown";
    // Scrolled within the results, the list stays put until the text changes again.
    ASSERT_TRUE(host.scrollWheel(list.frame().center(), -2));
    host.setContentSize({300, 261});
    host.update();
    EXPECT_LT(host.require(Query::text("row 0")).frame().y, list.frame().y);
    ASSERT_TRUE(host.setText(host.require(Query::placeholder("Search")), "thirds"));
    EXPECT_NEAR(firstRowTop(), list.frame().y + 4, 0.01);
}

} // namespace
