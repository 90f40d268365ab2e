// Bearer-token checks for the authorised endpoints. A request without a token is refused with 401;
// an expired or unknown token is refused with the session-expired code "E0112", on which the
// application signs the user out.
#pragma once

#include "standin/AccountStore.h"
#include "standin/StandinReply.h"
#include "standin/StandinRequest.h"
#include "standin/StandinRouter.h"

#include <optional>
#include <type_traits>

namespace standin {

struct Authorisation {
    std::optional<Account> account; // the token's account, when the request may go on
    StandinReply refusal;           // the reply to send otherwise
};

// The token of an "Authorization: Bearer <token>" header; empty when there is none.
std::string bearerToken(const StandinRequest& request);

Authorisation authorise(const StandinRequest& request, const AccountStore& accounts);

// A route handler that checks the bearer token and then calls `body(account)` or
// `body(account, request)` with the token's account.
template <typename Body> StandinRouter::Handler authorised(const AccountStore& accounts, Body body) {
    return [&accounts, body](const StandinRequest& request) {
        Authorisation auth = authorise(request, accounts);
        if (!auth.account) return auth.refusal;
        if constexpr (std::is_invocable_v<Body, const Account&, const StandinRequest&>)
            return body(*auth.account, request);
        else
            return body(*auth.account);
    };
}

} // namespace standin
