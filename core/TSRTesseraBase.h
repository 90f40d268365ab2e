// Where the remote services of the app core send their requests. Each service (installations,
// and later the event upload, session settings and crash settings, which reuse this helper) has
// its production address built in on a reserved example domain; one environment variable,
// VELMORA_TESSERA_BASE, replaces the scheme, host and port of all of them at once, so the demo and
// the tests point every service at the local stand-in and nothing ever resolves a real host.
#pragma once

#include <optional>
#include <string>

inline constexpr const char* kTSRTesseraBaseEnvironmentVariable = "VELMORA_TESSERA_BASE";

// `builtInURL` ("https://host[:port]/path...") with scheme, host and port taken from
// $VELMORA_TESSERA_BASE when that is set to "scheme://host[:port]" (a trailing "/" is allowed).
// The path, query and fragment of the built-in address stay. An override that is not of that form
// is logged (I-COR000040) and ignored. Reads the variable on every call; thread-safe.
std::string TSRTesseraURL(const std::string& builtInURL);

// The override's "scheme://host[:port]" when the text is a usable one, else none.
std::optional<std::string> TSRTesseraBaseFromText(const std::string& text);
