// The strings tables and their lookup.
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

using plat::Localization;

class Strings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            if (const char* old = std::getenv(v)) saved_.emplace_back(v, old);
            ::unsetenv(v);
        }
        plat::UserDefaults::resetForTesting();
        Localization::shared().resetForTesting();
    }
    void TearDown() override {
        for (const auto& [k, v] : saved_)
            ::setenv(k.c_str(), v.c_str(), 1);
        plat::UserDefaults::resetForTesting();
        Localization::shared().resetForTesting();
    }
    void prefer(std::vector<std::string> languages) {
        plat::Object::Array array;
        for (auto& l : languages)
            array.emplace_back(l);
        plat::UserDefaults::standard().set("AppleLanguages", plat::Object(array));
        Localization::shared().resetForTesting();
    }
    testsupport::TempHome home_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(Strings, EnglishIsTheDefaultAndShowsTheKeys) {
    EXPECT_EQ(Localization::shared().language(), "en");
    EXPECT_EQ(plat::LocalizedString("Keep Logged In"), "Keep Logged In");
    EXPECT_EQ(plat::LocalizedFormat("Connected to %@", {"Germany"}), "Connected to Germany");
}

TEST_F(Strings, AppleLanguagesChoosesTheTableByTagThenByLanguage) {
    prefer({"de-DE", "es-MX", "en"});
    EXPECT_EQ(Localization::shared().language(), "es"); // no German table; "es-MX" falls to "es"
    EXPECT_EQ(plat::LocalizedString("Log out"), "Cerrar sesión");
    EXPECT_EQ(plat::LocalizedString("Loading…"), "Cargando…");
    EXPECT_EQ(plat::LocalizedFormat("Connected to %@", {"VPN"}), "Conectado a VPN");
    EXPECT_EQ(plat::LocalizedString("A text without an entry"), "A text without an entry");
}

TEST_F(Strings, TheSystemLanguageCountsWhenNoPreferenceHasATable) {
    ::setenv("LANG", "es_ES.UTF-8", 1);
    prefer({"fr"});
    EXPECT_EQ(Localization::shared().language(), "es");
    ::setenv("LANG", "C", 1);
    Localization::shared().resetForTesting();
    EXPECT_EQ(Localization::shared().language(), "en");
}

TEST_F(Strings, TheLanguageIsChosenOnceUntilTheNextLaunch) {
    EXPECT_EQ(Localization::shared().language(), "en");
    plat::Object::Array array;
    array.emplace_back(std::string("es"));
    plat::UserDefaults::standard().set("AppleLanguages", plat::Object(array));
    // Like the platform: a new preference applies after a restart.
    EXPECT_EQ(plat::LocalizedString("Log out"), "Log out");
}

TEST_F(Strings, BothTablesHoldTheSameKeysAndKeepPlaceholders) {
    const auto dir = plat::Bundle::main().resourcePath() / "strings";
    auto en = nlohmann::json::parse(testsupport::readFile(dir / "en.json"));
    auto es = nlohmann::json::parse(testsupport::readFile(dir / "es.json"));
    ASSERT_TRUE(en.is_object() && es.is_object());
    EXPECT_EQ(Localization::shared().availableLanguages(), (std::vector<std::string>{"en", "es"}));
    for (const auto& [key, value] : en.items()) {
        EXPECT_EQ(value.get<std::string>(), key); // the English text is the key
        ASSERT_TRUE(es.contains(key)) << key;
        auto count = [](const std::string& s) {
            size_t n = 0;
            for (size_t p = s.find("%@"); p != std::string::npos; p = s.find("%@", p + 2))
                ++n;
            return n;
        };
        EXPECT_EQ(count(es[key].get<std::string>()), count(key)) << key;
    }
    EXPECT_EQ(en.size(), es.size());
    for (const char* key : {"Velmora",
                            "Loading…",
                            "Email",
                            "Keep Logged In",
                            "Forget Password",
                            "Login",
                            "Sign Up",
                            "Don't have account yet?",
                            "If you already have an account, ",
                            "Log In",
                            "Message",
                            "OK",
                            "Please log in",
                            "VPN Not Connected",
                            "Not Connected",
                            "Connecting...",
                            "Reconnecting...",
                            "Disconnecting...",
                            "Error. Reconnecting...",
                            "Settings",
                            "Pricing",
                            "Manage Devices",
                            "Customer support",
                            "Log out"})
        EXPECT_TRUE(en.contains(key)) << key;
}

TEST(Placeholders, FillInOrderByPositionAndEscapePercent) {
    EXPECT_EQ(plat::fillPlaceholders("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(plat::fillPlaceholders("%2$@ before %1$@", {"a", "b"}), "b before a");
    EXPECT_EQ(plat::fillPlaceholders("100%% of %@", {"x"}), "100% of x");
    EXPECT_EQ(plat::fillPlaceholders("%@ %@", {"only"}), "only ");
    EXPECT_EQ(plat::fillPlaceholders("50% off %d %", {}), "50% off %d %");
    EXPECT_EQ(plat::fillPlaceholders("$%@", {"9.99"}), "$9.99");
}

} // namespace
