// Every fixed text the three sheets show is a key of both strings tables, so a Spanish interface
// never falls back to an English key; nor does the plan text that goes with the plans sheet.
#include "app/views/ManageDevicesView.h"
#include "app/views/PricingView.h"
#include "app/views/SettingsView.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/app/sheets/SheetTestSupport.h"
#include "json/JSON.h"

#include <set>

namespace {

using namespace sheettest;
using plat::ui::NodeRef;
using plat::ui::TextValue;

class SheetStringsTest : public SheetTest {
protected:
    // The keys of the shown tree: texts, titles, labels and tooltips that are looked up.
    std::set<std::string> shownKeys() {
        std::set<std::string> keys;
        auto add = [&keys](const std::optional<TextValue>& t) {
            if (t && !t->isVerbatim() && !t->empty()) keys.insert(t->raw());
        };
        for (const NodeRef& n : host().findAll(Query::where("any", [](const NodeRef&) { return true; }))) {
            add(n.data().text);
            add(n.data().attrs->help);
            add(n.data().attrs->navigationTitle);
        }
        return keys;
    }
    static JSON table(const std::string& language) {
        const auto path = plat::Bundle::main().resourcePath() / "strings" / (language + ".json");
        return JSON(plat::toData(testsupport::readFile(path)), 0);
    }
    static void expectTranslated(const std::set<std::string>& keys) {
        for (const char* language : {"en", "es"}) {
            const JSON strings = table(language);
            ASSERT_EQ(strings.type(), JSON::Type::dictionary) << language;
            for (const auto& key : keys)
                EXPECT_EQ(strings[key].type(), JSON::Type::string) << language << ": \"" << key << "\"";
        }
    }
};

TEST_F(SheetStringsTest, EveryFixedTextOfTheSheetsHasATranslation) {
    signInDemo();
    std::set<std::string> keys;

    show(plat::ui::make<SettingsView>(controller_, VPNProtocol::Optimal));
    ASSERT_TRUE(host().selectEntry(host().require(Query::testId("languagePicker")), "Español"));
    ASSERT_TRUE(waitFor([&] { return static_cast<bool>(topAlert()); }));
    keys.merge(shownKeys());

    show(plat::ui::make<ManageDevicesView>(controller_));
    keys.merge(shownKeys()); // still loading
    ASSERT_TRUE(waitFor([&] { return has(Query::textContaining("Name: ")); }));
    keys.merge(shownKeys());

    show(plat::ui::make<PricingView>(controller_));
    keys.merge(shownKeys()); // no catalogue yet
    ASSERT_TRUE(waitFor([&] { return has(Query::testId("PlanRow")); }));
    keys.merge(shownKeys());

    for (const char* expected :
         {"Settings", "Compact View", "Remove profile", "OK", "Loading devices...", "Manage Devices",
          "Last Login: %@", "Platform: ", "Delete", "Retry", "   Get   ", "$%@"})
        EXPECT_TRUE(keys.count(expected)) << expected;
    expectTranslated(keys);
}

// The plan text of the main window's top bar is built in the controller and shown verbatim, so it
// comes translated from there; the plan's name stays as sent.
TEST_F(SheetStringsTest, ThePlanTextIsInTheInterfacesLanguage) {
    auto textIn = [](const char* language, const std::string& body) {
        plat::UserDefaults::standard().set("AppleLanguages",
                                           plat::Object(plat::Object::Array{plat::Object(language)}));
        plat::Localization::shared().resetForTesting();
        return VelmoraController::subscriptionText(JSON(plat::toData(body), 0));
    };
    const std::string yearly = R"({"status":"active","name":"Yearly"})";
    const std::string lifetime = R"({"status":"active","is_unlimited":true,"name":"Pro"})";
    const std::string expired = R"({"status":"expired","name":"Yearly"})";
    EXPECT_EQ(textIn("en", yearly), "Current Plan: Yearly");
    EXPECT_EQ(textIn("en", lifetime), "Current Plan: Lifetime");
    EXPECT_EQ(textIn("en", expired), "Your Plan Has Expired");
    EXPECT_EQ(textIn("es", yearly), "Plan actual: Yearly");
    EXPECT_EQ(textIn("es", lifetime), "Plan actual: Vitalicio");
    EXPECT_EQ(textIn("es", expired), "Su plan ha caducado");
    plat::UserDefaults::resetForTesting();
    plat::Localization::shared().resetForTesting();
}

} // namespace
