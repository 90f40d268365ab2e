// Text that fits the room it gets: a menu's label takes what its neighbours leave and keeps its
// title on one line, a toggle's label never shares the control's place, a sheet whose text wraps at
// the sheet's width is tall enough for the lines, and a sheet shows its content's navigation title.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

// 6.5 points a character in the body font of the headless measurements, 17 a line.
constexpr double kLine = 17;

AnyView accountMenu(const std::string& name) {
    return Menu(Label(TextValue::verbatim(name), "person.crop.circle.fill"), {Button("Settings", [] {})})
        .buttonStyle(ButtonStyle::Borderless)
        .testId("menu");
}

TEST_F(UITest, MenuLabelTakesWhatItsRowLeavesAndKeepsItsTitleOnOneLine) {
    const std::string longName = "someone.with.a.very.long.address@subdomain.example.org"; // 55 characters
    Host host(HStack(VAlign::Center, {Text("Plan"), accountMenu(longName)}).padding(Edge::Trailing, 20),
              {.contentSize = {300, 100}});
    host.update();
    const NodeRef title = host.require(Query::testId("menu")).find(Query::kind(ViewKind::Text));
    const NodeRef icon = host.require(Query::symbol("person.crop.circle.fill"));
    EXPECT_EQ(title.frame().height, kLine) << "one line";
    EXPECT_LT(title.frame().width, 55 * 6.5) << "narrower than the whole title";
    EXPECT_LE(title.frame().maxX(), 280);
    EXPECT_GE(icon.frame().x, 0) << "the icon stays in the window";
    EXPECT_LE(icon.frame().maxX(), title.frame().x);

    // A short title keeps its natural width.
    Host roomy(HStack(VAlign::Center, {Text("Plan"), accountMenu("me@example.org")}),
               {.contentSize = {300, 100}});
    roomy.update();
    EXPECT_EQ(roomy.require(Query::testId("menu")).find(Query::kind(ViewKind::Text)).frame().width, 14 * 6.5);
}

TEST_F(UITest, ToggleLabelNeverSharesTheControlsPlace) {
    Host host(
        VStack(HAlign::Leading, {Toggle("Launch on startup", Binding<bool>::constant(false)).testId("box"),
                                 Toggle("Kill switch", Binding<bool>::constant(true))
                                     .toggleStyle(ToggleStyle::Switch)
                                     .testId("switch")}),
        {.contentSize = {400, 200}});
    host.update();
    // The default style is a 14-point check box before the label, 6 points from it.
    const Rect box = host.require(Query::testId("box")).frame();
    const Rect boxLabel = host.require(Query::text("Launch on startup")).frame();
    EXPECT_EQ(boxLabel.x, box.x + 14 + 6);
    EXPECT_LE(boxLabel.maxX(), box.maxX());
    // A switch (32 points) follows its label, 8 points after it.
    const Rect sw = host.require(Query::testId("switch")).frame();
    const Rect swLabel = host.require(Query::text("Kill switch")).frame();
    EXPECT_EQ(swLabel.x, sw.x);
    EXPECT_LE(swLabel.maxX(), sw.maxX() - 32 - 8);
}

TEST_F(UITest, SheetIsAsTallAsItsTextNeedsAtTheSheetsWidth) {
    // Two cards sharing the row; each has a text that does not fit a card on one line.
    auto card = [](const std::string& id) {
        return VStack({Text("Plan"), VerbatimText("one two three four five six seven eight").testId(id),
                       Button("Get", [] {})})
            .frame({.maxWidth = infinity});
    };
    Host host(Text("window").sheet(Binding<bool>::constant(true),
                                   [card] {
                                       return HStack({card("left"), card("right")}).padding();
                                   }),
              {.contentSize = {300, 500}});
    host.update();
    const Rect sheet = host.sheets().at(0).frame();
    EXPECT_EQ(sheet.width, 300);
    for (const char* id : {"left", "right"}) {
        const Rect text = host.require(Query::testId(id)).frame();
        EXPECT_GE(text.height, 2 * kLine) << id << ": its lines are there";
        EXPECT_LE(text.width, (300 - 32 - 8) / 2.0) << id;
        EXPECT_LE(text.maxY(), sheet.maxY()) << id;
    }
    EXPECT_LE(host.require(Query::button("Get")).frame().maxY(), sheet.maxY());
}

TEST_F(UITest, ALongWordIsTheTextsLeastWidthButBreaksInANarrowerFrame) {
    const std::string word = "https://velmora.example/checkout?plan=1m"; // 40 characters, 260 points
    Host host(VStack({VerbatimText("see " + word).testId("free"),
                      VerbatimText("see " + word).frame(100).testId("framed")}),
              {.contentSize = {400, 300}});
    host.update();
    // Asked for its least size, the text keeps the word whole.
    EXPECT_EQ(host.minimumContentSize().width, 40 * 6.5);
    // A frame narrower than the word breaks it over lines that fit.
    const NodeRef framed = host.require(Query::testId("framed")).find(Query::kind(ViewKind::Text));
    EXPECT_LE(framed.frame().width, 100);
    EXPECT_GE(framed.frame().height, 4 * kLine) << "\"see\" and the word over three lines";
}

TEST_F(UITest, AFixedHeightTextKeepsEveryLineAtTheWindowsLeastSize) {
    const std::string words = "keep the session open";
    auto view = [&](bool fixed) {
        AnyView text = VerbatimText(words);
        if (fixed) text = text.frame(FrameSpec{.fixedHeight = true});
        return VStack({VerbatimText("top"), HStack({text.testId("label"), VerbatimText("link")}).frame(90),
                       VerbatimText("bottom")});
    };
    for (const bool fixed : {false, true}) {
        SCOPED_TRACE(fixed);
        Host host(view(fixed), {.contentSize = {400, 300}});
        host.update();
        host.setContentSize(host.minimumContentSize());
        host.update();
        const Rect label = host.require(Query::testId("label")).frame();
        // "link" takes 26 points of the 90 with its spacing: the words need three lines.
        if (fixed) {
            EXPECT_GE(label.height, 3 * kLine);
            EXPECT_LE(host.require(Query::text("bottom")).frame().maxY(), host.minimumContentSize().height);
        } else {
            EXPECT_LT(label.height, 3 * kLine) << "squeezed to fewer lines than it has";
        }
    }
}

// Text twice as wide as the headless metrics make it.
class WideMetrics : public HeadlessMetrics {
public:
    double textWidth(std::string_view text, const Font& font) const override {
        return 2 * HeadlessMetrics::textWidth(text, font);
    }
};

// Records the text metrics its environment hands it.
class MetricsProbe : public Screen {
public:
    explicit MetricsProbe(std::shared_ptr<const TextMetrics>* seen) : seen(seen) {}
    AnyView body() const override {
        *seen = metrics();
        return VerbatimText("Keep logged in");
    }
    std::shared_ptr<const TextMetrics>* seen;
    Environment<&EnvironmentValues::textMetrics> metrics;
};

TEST_F(UITest, AViewMeasuredApartHasTheLeastSizeItHasInAWindowWithTheSameMetrics) {
    auto wide = std::make_shared<const WideMetrics>();
    std::shared_ptr<const TextMetrics> seen;
    auto view = [&] { return VStack({make<MetricsProbe>(&seen), VerbatimText("a longer second line")}); };
    Host host(view(), {.contentSize = {400, 300}, .metrics = wide});
    host.update();
    EXPECT_EQ(seen, wide) << "a screen finds its window's metrics in the environment";
    seen.reset();
    const Size apart = minimumSize(view(), wide);
    EXPECT_EQ(seen, wide);
    EXPECT_EQ(apart, host.minimumContentSize());
    EXPECT_GT(apart.width, minimumSize(view()).width) << "the metrics given are the ones used";
}

TEST_F(UITest, AnAlertOverASheetSitsInTheMiddleOfTheSheet) {
    auto alertShown = std::make_shared<bool>(true);
    Host host(
        Text("window").sheet(Binding<bool>::constant(true),
                             [alertShown] {
                                 return VStack({Text("sheet")})
                                     .frame(300, 200)
                                     .alert(Binding<bool>([alertShown] { return *alertShown; },
                                                          [alertShown](const bool& v) { *alertShown = v; }),
                                            [] {
                                                return Alert{"Message", TextValue::verbatim("Text"), {}};
                                            });
                             }),
        {.contentSize = {800, 600}});
    host.update();
    ASSERT_EQ(host.alerts().size(), 1u);
    const Rect sheet = host.sheets().at(0).frame();
    const Rect alert = host.alerts().at(0).frame();
    EXPECT_NEAR(alert.center().x, sheet.center().x, 0.5);
    EXPECT_NEAR(alert.center().y, sheet.center().y, 0.5);
}

TEST_F(UITest, ALongAlertsButtonsStayBelowItsLastLine) {
    std::string message;
    for (int i = 0; i < 40; ++i)
        message += "word" + std::to_string(i) + " ";
    for (const Size window : {Size{800, 600}, Size{300, 600}}) {
        Host host(Text("window").alert(Binding<bool>::constant(true),
                                       [message] {
                                           return Alert{"Message", TextValue::verbatim(message), {}};
                                       }),
                  {.contentSize = window});
        host.update();
        ASSERT_EQ(host.alerts().size(), 1u);
        const NodeRef alert = host.alerts().at(0);
        const NodeRef text = alert.find(Query::textContaining("word0 "));
        const NodeRef ok = alert.find(Query::button("OK"));
        ASSERT_TRUE(text && ok) << host.dump();
        EXPECT_GT(text.frame().height, 5 * kLine) << "the message has all its lines";
        EXPECT_LE(text.frame().maxY(), ok.frame().y) << host.dump();
        EXPECT_LE(ok.frame().maxY(), alert.frame().maxY());
    }
}

struct TitledSheet : Screen {
    State<int> taps{0};
    State<bool> titled{true};
    AnyView body() const override {
        AnyView content = VStack({VerbatimText("taps " + std::to_string(taps())),
                                  Button("Tap", [this] { taps.set(taps() + 1); }),
                                  Button("Untitle", [this] { titled.set(false); })});
        return titled() ? content.navigationTitle("Manage Things") : content;
    }
};

TEST_F(UITest, SheetShowsItsContentsNavigationTitleAboveIt) {
    Host host(Text("window").sheet(Binding<bool>::constant(true), [] { return make<TitledSheet>(); }));
    host.update();
    const NodeRef title = host.require(Query::text("Manage Things"));
    EXPECT_EQ(title.environment().effectiveFont(), Font::headline());
    EXPECT_LE(title.frame().maxY(), host.require(Query::text("taps 0")).frame().y);
    EXPECT_GE(title.frame().y, host.sheets().at(0).frame().y);

    // The content keeps its state while the heading comes and goes.
    ASSERT_TRUE(host.click(host.require(Query::button("Tap"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Untitle"))));
    EXPECT_FALSE(host.find(Query::text("Manage Things")));
    EXPECT_TRUE(host.find(Query::text("taps 1")));
}

} // namespace
