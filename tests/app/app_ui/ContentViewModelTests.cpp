// The root model's first state comes from the stored credentials; assignments always publish.
#include "app/ContentViewModel.h"
#include "app/classes/Preferences.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using State = ContentViewModel::ProgramState;

struct Credentials {
    std::optional<std::string> email;
    std::optional<std::string> token;
    State expected;
};

TEST(ContentViewModelTest, StartsLoggedInOnlyWithANonEmptyEmailAndToken) {
    const Credentials cases[] = {
        {std::nullopt, std::nullopt, State::needLogin},
        {"user@example.org", std::nullopt, State::needLogin},
        {std::nullopt, "tok", State::needLogin},
        {"user@example.org", "", State::needLogin},
        {"", "tok", State::needLogin},
        {"user@example.org", "tok", State::loggedIn},
    };
    for (const auto& c : cases) {
        testsupport::TempHome home;
        if (c.email) Preferences::setEmail(c.email);
        if (c.token) Preferences::setToken(c.token);
        ContentViewModel vm;
        EXPECT_EQ(vm.state.get(), c.expected)
            << c.email.value_or("<none>") << " / " << c.token.value_or("<none>");
    }
}

TEST(ContentViewModelTest, AnUnreadableKeychainCountsAsMissing) {
    testsupport::TempHome home;
    Preferences::setEmail("user@example.org");
    Preferences::setToken("tok");
    // The keychain folder replaced by a file: every read fails.
    const auto dir = home.path();
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_directory() && entry.path().filename() == "keychain") {
            const auto path = entry.path();
            std::filesystem::remove_all(path, ec);
            testsupport::writeFile(path, "not a folder");
            break;
        }
    }
    ContentViewModel vm;
    EXPECT_EQ(vm.state.get(), State::needLogin);
}

TEST(ContentViewModelTest, EveryAssignmentAnnouncesAChangeEvenOfTheSameValue) {
    testsupport::TempHome home;
    ContentViewModel vm;
    int willChange = 0;
    std::vector<State> values;
    auto a = vm.objectWillChange().sink([&] { ++willChange; });
    auto b = vm.state.sink([&](const State& s) { values.push_back(s); });
    vm.state = State::needLogin;
    vm.state = State::loggedIn;
    EXPECT_EQ(willChange, 2);
    EXPECT_EQ(values, (std::vector<State>{State::needLogin, State::needLogin, State::loggedIn}));
}

} // namespace
