// What the tree painter makes of laid-out toolkit trees; no display needed.
#include "platform/dispatch/RunLoop.h"
#include "platform/render/FontBook.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/Palette.h"
#include "platform/render/ui/TreePainter.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"

#include <gtest/gtest.h>

namespace {

using namespace plat;
using namespace plat::ui;
using plat::render::DisplayList;
using plat::render::TreePainter;
namespace cmd = plat::render::cmd;

template <typename T> std::vector<const T*> all(const DisplayList& list) {
    std::vector<const T*> out;
    for (const auto& c : list.commands())
        if (const T* t = std::get_if<T>(&c)) out.push_back(t);
    return out;
}

const cmd::Text* textRun(const DisplayList& list, const std::string& text) {
    for (const auto* t : all<cmd::Text>(list))
        if (t->text == text) return t;
    return nullptr;
}

struct Form : Screen {
    State<std::string> password{std::string("secret")};
    State<bool> showSheet{false};
    State<bool> showAlert{false};
    AnyView body() const override {
        return VStack({
                          Text("Hello").foregroundColor(Color::red()),
                          Image("logo").resizable().scaledToFit().frame(128, 64),
                          SystemImage("eye.fill"),
                          SecureField("Password", password.binding()),
                          Button("Login", [] {})
                              .buttonStyle(ButtonStyle::Plain)
                              .padding(10)
                              .background(Color::blue())
                              .cornerRadius(2),
                          Text("Forget Password").underline(true, Color::black()),
                          Button("Open sheet", [this] { showSheet.set(true); }),
                          Button("Show alert", [this] { showAlert.set(true); }),
                      })
            .sheet(showSheet.binding(), [] { return Text("In the sheet").padding(40); })
            .alert(showAlert.binding(), [] {
                return Alert{"Message",
                             TextValue::verbatim("Please enter valid email"),
                             {AlertButton::destructive("OK")}};
            });
    }
};

class TreePainting : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::main().drain(); }
    void TearDown() override { RunLoop::main().drain(); }

    std::unique_ptr<Host> host(AnyView root) {
        HostOptions options;
        options.contentSize = {400, 500};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        auto h = std::make_unique<Host>(std::move(root), options);
        h->update();
        return h;
    }
    static Rect rect(const NodeRef& n) { return n.frame(); }
};

TEST_F(TreePainting, TextImagesAndSymbolsLandInTheirNodesFrames) {
    auto h = host(make<Form>());
    TreePainter painter;
    h->render(painter);
    const DisplayList& list = painter.window();
    EXPECT_TRUE(list.clipsBalanced());

    const NodeRef hello = h->require(Query::text("Hello"));
    const cmd::Text* run = textRun(list, "Hello");
    ASSERT_NE(run, nullptr);
    EXPECT_FLOAT_EQ(run->origin.x, rect(hello).x);
    EXPECT_GE(run->origin.y, rect(hello).y);
    EXPECT_EQ(run->color.packed(), plat::render::palette::resolve(Color::red(), ColorScheme::Light).packed());
    // Measured with the faces the window draws, so the run fits its frame on one line.
    EXPECT_NEAR(rect(hello).width, plat::render::FontBook::shared().measure("Hello", run->font).width, 0.5);
    EXPECT_EQ(run->wrapWidth, 0);

    // The logo keeps its aspect ratio inside the 128 x 64 frame: 64 x 64, centred.
    auto images = all<cmd::Image>(list);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0]->name, "logo");
    EXPECT_FLOAT_EQ(images[0]->rect.width, 64);
    EXPECT_FLOAT_EQ(images[0]->rect.height, 64);
    const auto logo = rect(h->require(Query::image("logo")));
    EXPECT_FLOAT_EQ(images[0]->rect.x, logo.x + (logo.width - 64) / 2);

    auto symbols = all<cmd::Symbol>(list);
    ASSERT_FALSE(symbols.empty());
    EXPECT_EQ(symbols[0]->name, "eye.fill");
    EXPECT_EQ(symbols[0]->rect, rect(h->require(Query::symbol("eye.fill"))));
}

TEST_F(TreePainting, SecureFieldsShowBulletsClearOfTheBorderAndClippedBackgroundsTakeTheCornerRadius) {
    auto h = host(make<Form>());
    TreePainter painter;
    h->render(painter);
    const DisplayList& list = painter.window();
    EXPECT_EQ(textRun(list, "secret"), nullptr);
    const cmd::Text* bullets = textRun(list, "\u2022\u2022\u2022\u2022\u2022\u2022");
    ASSERT_NE(bullets, nullptr);
    // The text keeps clear of the bordered field's left edge.
    EXPECT_GE(bullets->origin.x, rect(h->require(Query::kind(ViewKind::SecureField))).x + 6);

    // The blue button background is rounded by the clip shape around it.
    const auto blue = plat::render::palette::resolve(Color::blue(), ColorScheme::Light).packed();
    bool rounded = false;
    for (const auto* f : all<cmd::FillRect>(list))
        if (f->color.packed() == blue) rounded = f->cornerRadius == 2;
    EXPECT_TRUE(rounded);

    const cmd::Text* link = textRun(list, "Forget Password");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->underline);
    EXPECT_EQ(link->underlineColor.packed(), 0xFF000000u);
}

TEST_F(TreePainting, SheetsGetTheirOwnListsAndAlertsGoWithTheTopmostOne) {
    auto h = host(make<Form>());
    TreePainter painter;
    ASSERT_TRUE(h->click(h->require(Query::button("Show alert"))));
    h->render(painter);
    ASSERT_TRUE(painter.sheets().empty());
    EXPECT_NE(textRun(painter.window(), "Message"), nullptr);
    EXPECT_NE(textRun(painter.window(), "Please enter valid email"), nullptr);
    // The alert's destructive button reads red.
    const cmd::Text* ok = textRun(painter.window(), "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_GT(ok->color.r, 0.9f);
    EXPECT_LT(ok->color.g, 0.4f);
    ASSERT_TRUE(h->click(h->require(Query::button("OK"))));

    ASSERT_TRUE(h->click(h->require(Query::button("Open sheet"))));
    h->render(painter);
    ASSERT_EQ(painter.sheets().size(), 1u);
    const auto& sheet = painter.sheets()[0];
    EXPECT_GT(sheet.frame.width, 0);
    EXPECT_EQ(textRun(painter.window(), "In the sheet"), nullptr); // not in the window's own list
    const cmd::Text* inSheet = textRun(sheet.list, "In the sheet");
    ASSERT_NE(inSheet, nullptr);
    // In the sheet window's own coordinates.
    const Rect f = h->require(Query::text("In the sheet")).frame();
    EXPECT_FLOAT_EQ(inSheet->origin.x, f.x - sheet.frame.x);
    EXPECT_GE(inSheet->origin.y, 0);
}

struct Crowded : Screen {
    State<std::string> language{std::string("es")};
    AnyView body() const override {
        return VStack(
            HAlign::Leading,
            {HStack({Text("Plan"),
                     Menu(Label(TextValue::verbatim("someone.with.a.long.address@subdomain.example.org"),
                                "person"),
                          {Button("Settings", [] {})})
                         .buttonStyle(ButtonStyle::Borderless)}),
             VerbatimText("Unlimited access to all VPN servers").frame(120, 60).testId("wrapped"),
             Toggle("Launch on startup", Binding<bool>::constant(false)).testId("box"),
             Toggle("Kill switch", Binding<bool>::constant(true)).toggleStyle(ToggleStyle::Switch),
             Picker("Language", language.binding(),
                    {VerbatimText("English").tag(std::string("en")),
                     VerbatimText("Espa\u00f1ol").tag(std::string("es"))})
                 .testId("picker")});
    }
};

TEST_F(TreePainting, TextStaysInItsFrameWrappedOrCutShort) {
    auto h = host(make<Crowded>());
    h->setContentSize({260, 500});
    h->update();
    TreePainter painter;
    h->render(painter);
    const DisplayList& list = painter.window();
    // The menu's title does not fit: it ends in an ellipsis within its frame.
    const NodeRef title = h->require(Query::kind(ViewKind::Menu)).find(Query::kind(ViewKind::Text));
    const cmd::Text* cut = nullptr;
    for (const auto* t : all<cmd::Text>(list))
        if (t->text.find("someone") == 0) cut = t;
    ASSERT_NE(cut, nullptr);
    EXPECT_NE(cut->text.find("\u2026"), std::string::npos) << cut->text;
    EXPECT_EQ(cut->wrapWidth, 0);
    EXPECT_LE(plat::render::FontBook::shared().measure(cut->text, cut->font).width, rect(title).width + 0.5f);
    EXPECT_LE(rect(title).x + rect(title).width, 260);

    // A frame with room for more lines wraps the text at its width.
    const cmd::Text* wrapped = textRun(list, "Unlimited access to all VPN servers");
    ASSERT_NE(wrapped, nullptr);
    const NodeRef wrappedText = h->require(Query::testId("wrapped")).find(Query::kind(ViewKind::Text));
    EXPECT_FLOAT_EQ(wrapped->wrapWidth, rect(wrappedText).width);
    EXPECT_LE(wrapped->wrapWidth, 120);

    // The default toggle is a check box before its label; a switch has a knob after it.
    EXPECT_EQ(all<cmd::FillEllipse>(list).size(), 1u) << "one switch knob";
    const Rect box = h->require(Query::testId("box")).frame();
    const Rect knob{all<cmd::FillEllipse>(list)[0]->rect.x, 0, 0, 0};
    EXPECT_GT(knob.x, h->require(Query::text("Kill switch")).frame().maxX());
    EXPECT_GE(h->require(Query::text("Launch on startup")).frame().x, box.x + 14);

    // The picker shows its label, and its bezel starts after it; the chosen entry, its widest,
    // keeps clear of the arrow.
    const cmd::Text* label = textRun(list, "Language");
    ASSERT_NE(label, nullptr);
    const Rect picker = h->require(Query::testId("picker")).frame();
    EXPECT_FLOAT_EQ(label->origin.x, picker.x);
    const cmd::Text* chosen = textRun(list, "Espa\u00f1ol");
    ASSERT_NE(chosen, nullptr);
    EXPECT_GT(chosen->origin.x,
              label->origin.x + plat::render::FontBook::shared().measure("Language", label->font).width);
    const cmd::Symbol* arrow = nullptr;
    for (const auto* symbol : all<cmd::Symbol>(list))
        if (symbol->name == "chevron.down") arrow = symbol;
    ASSERT_NE(arrow, nullptr);
    EXPECT_GE(arrow->rect.x - 6,
              chosen->origin.x + plat::render::FontBook::shared().measure(chosen->text, chosen->font).width);
    EXPECT_LE(arrow->rect.maxX(), picker.maxX());
}

TEST_F(TreePainting, AnAlertsButtonsStayBelowEveryLineTheMessageIsDrawnIn) {
    // Breaks the drawing makes and plain word wrap does not: after the dots and slashes of an
    // address, before which the address is one long word.
    const std::string message =
        "Nothing on this computer could open "
        "https://velmora.example/reset_password/with/a/long/path.html?and=a&query=too. "
        "Open it in your browser or mail program, or copy it by hand.";
    auto h = host(Text("window").alert(Binding<bool>::constant(true), [message] {
        return Alert{"Cannot Open Link", TextValue::verbatim(message), {}};
    }));
    for (const Size window : {Size{800, 500}, Size{300, 600}}) {
        h->setContentSize(window);
        h->update();
        TreePainter painter;
        h->render(painter);
        const cmd::Text* drawn = textRun(painter.window(), message);
        ASSERT_NE(drawn, nullptr);
        ASSERT_GT(drawn->wrapWidth, 0);
        const double drawnHeight =
            std::round(
                plat::render::FontBook::shared().measure(message, drawn->font, drawn->wrapWidth).height /
                drawn->font.size) *
            drawn->lineHeight;
        const NodeRef text = h->alerts().at(0).find(Query::textContaining("Nothing on this"));
        const NodeRef ok = h->alerts().at(0).find(Query::button("OK"));
        EXPECT_GE(text.frame().height + 0.5, drawnHeight) << "the layout has a place for every drawn line";
        EXPECT_LE(drawn->origin.y + drawnHeight, rect(ok).y + 0.5) << "the last line runs under the button";
    }
}

struct LongList : Screen {
    State<std::optional<Tag>> selection{std::optional<Tag>(Tag(0))};
    AnyView body() const override {
        std::vector<int> ids;
        for (int i = 0; i < 200; ++i)
            ids.push_back(i);
        return List(selection.binding(),
                    {ForEach(
                        ids, [](int i) { return i; },
                        [](int i) { return VerbatimText("row " + std::to_string(i)).tag(i); })});
    }
};

TEST_F(TreePainting, AListDrawsOnlyTheRowsInViewWithTheSelectedOneHighlighted) {
    auto h = host(make<LongList>());
    TreePainter painter;
    h->render(painter);
    EXPECT_NE(textRun(painter.window(), "row 0"), nullptr);
    EXPECT_EQ(textRun(painter.window(), "row 150"), nullptr) << "far below the list's frame";
    size_t highlights = 0;
    for (const auto* f : all<cmd::FillRect>(painter.window()))
        highlights += f->color.b > 0.9f && f->color.a < 0.5f;
    EXPECT_EQ(highlights, 1u) << "the selected row";
    // Scrolled down, the rows there are drawn and the first ones are not.
    ASSERT_TRUE(h->scrollWheel({100, 100}, -1000)); // to the end
    h->render(painter);
    EXPECT_EQ(textRun(painter.window(), "row 0"), nullptr);
    EXPECT_NE(textRun(painter.window(), "row 199"), nullptr);
}

TEST_F(TreePainting, ResolvesSemanticAndAssetColours) {
    EXPECT_EQ(plat::render::palette::resolve(Color::named("rightBarColor"), ColorScheme::Light).packed(),
              plat::RGBA::rgb(0x1E3A8A).packed());
    // An asset that is not in the bundle shows its fallback components.
    EXPECT_EQ(plat::render::palette::resolve(Color::named("noSuchColor"), ColorScheme::Light).a, 1.0f);
    EXPECT_NE(plat::render::palette::resolve(Color::primary(), ColorScheme::Light).packed(),
              plat::render::palette::resolve(Color::primary(), ColorScheme::Dark).packed());
    EXPECT_EQ(plat::render::palette::resolve(Color::clear(), ColorScheme::Light).a, 0.0f);
    EXPECT_FLOAT_EQ(plat::render::palette::resolve(Color::white().opacity(0.7), ColorScheme::Light).a, 0.7f);
}

} // namespace
