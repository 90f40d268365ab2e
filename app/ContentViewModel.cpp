#include "app/ContentViewModel.h"

#include "app/classes/Preferences.h"

ContentViewModel::ContentViewModel() : state(this, initialState()) {}

ContentViewModel::ProgramState ContentViewModel::initialState() {
    const auto email = Preferences::email();
    if (!email) return ProgramState::needLogin;
    const auto token = Preferences::token();
    if (!token) return ProgramState::needLogin;
    return !email->empty() && !token->empty() ? ProgramState::loggedIn : ProgramState::needLogin;
}
