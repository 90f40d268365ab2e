// Routes that check and echo what a client sent, for tests of the client's request layers:
//   POST /echo/form   a gzip-compressed form body: the stand-in checks "Content-Encoding: gzip",
//                     the form content type and that "Content-Length" is the length of the
//                     compressed bytes as received, inflates them and answers
//                     {"contentLength": n, "inflated": "<text>", "inflatedLength": m}; a failed check
//                     answers 400 with {"message": "<what was wrong>"}.
//   GET  /echo/query  {"query": "<text after '?'>", "headers": {name: value, ...}}
// A compressed body sent under "/echo/" reaches the routes (and the request log) as the client sent
// it, not inflated by the HTTP library.
#pragma once

#include "standin/StandinRouter.h"

namespace standin {

void addEchoRoutes(StandinRouter& router);

// Whether a path is one of these routes' (whose bodies keep their content encoding).
bool isEchoPath(const std::string& path);

} // namespace standin
