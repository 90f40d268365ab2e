#include "standin/BearerAuth.h"

#include "standin/ApiReplies.h"

#include <strings.h>

namespace standin {

std::string bearerToken(const StandinRequest& request) {
    const std::string value = request.header("Authorization");
    if (value.size() < 7 || strncasecmp(value.c_str(), "Bearer ", 7) != 0) return {};
    std::string token = value.substr(7);
    size_t first = token.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    size_t last = token.find_last_not_of(' ');
    return token.substr(first, last - first + 1);
}

Authorisation authorise(const StandinRequest& request, const AccountStore& accounts) {
    const std::string token = bearerToken(request);
    if (token.empty()) return {std::nullopt, messageReply(401, "Unauthenticated.")};
    AccountStore::TokenCheck check = accounts.check(token);
    if (check.state != AccountStore::TokenState::Valid)
        return {std::nullopt,
                StandinReply::json(401,
                                   R"({"code":"E0112","message":"Session expired. Please sign in again."})")};
    return {std::move(check.account), {}};
}

} // namespace standin
