// The update feed: a small JSON document at the feed address naming the newest version and where to
// get it, e.g. {"version": "1.2.0", "url": "https://example.org/velmora-1.2.0.tar.gz"}. This file
// reads the document, compares versions and fetches the feed over HTTP.
#pragma once

#include "platform/foundation/URL.h"

#include <functional>
#include <optional>
#include <string>

namespace plat {

struct SPUUpdateFeed {
    std::string version;
    std::optional<std::string> downloadURL;

    // The feed in `json`; none (with `error` set) when it is not an object with a non-empty
    // "version" text. A "url" that is not an http(s) link is dropped.
    static std::optional<SPUUpdateFeed> parse(std::string_view json, std::string* error = nullptr);

    // Compares dotted versions number by number ("1.10" is newer than "1.9"; missing parts count as
    // 0; a part's leading digits count, the rest of it is ignored). Negative, zero or positive.
    static int compareVersions(const std::string& a, const std::string& b);

    // Fetches the feed's bytes: `completion` gets the body, or an error text, on the main queue.
    using Completion = std::function<void(std::optional<std::string> body, std::optional<std::string> error)>;
    using Fetcher = std::function<void(const URL& feedURL, Completion completion)>;
    // An HTTP GET with a 30-second timeout; non-2xx answers are errors.
    static Fetcher httpFetcher();
};

} // namespace plat
