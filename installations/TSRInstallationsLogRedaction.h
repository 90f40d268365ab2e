// What the installations client's debug lines may show of a request or reply: secrets (the API
// key, refresh and auth tokens, the legacy token) are replaced by "<redacted>" so they never reach
// a log line, and long or binary bodies are cut short.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Object.h"

#include <string>

// "{Name: value, ...}" with the values of secret-bearing fields redacted.
std::string TSRInstallationsRedactedHeaders(const plat::HTTPHeaderFields& fields);
// A JSON body with its "refreshToken" and "token" values redacted (at any depth), cut to 512
// bytes; of any other body only its size.
std::string TSRInstallationsRedactedBody(const plat::Data& body);
