#include "platform/updater/SPUUpdateFeed.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/net/URLSession.h"

#include <cctype>
#include <cstdint>

namespace plat {

std::optional<SPUUpdateFeed> SPUUpdateFeed::parse(std::string_view json, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<SPUUpdateFeed> {
        if (error) *error = why;
        return std::nullopt;
    };
    const Object root = JSONSerialization::jsonObject(json);
    if (!root.isDict()) return fail("the update feed is not a JSON object");
    const Object version = root.dict().count("version") ? root.dict().at("version") : Object();
    if (!version.isString() || version.string().empty()) return fail("the update feed names no version");
    SPUUpdateFeed feed;
    feed.version = version.string();
    if (root.dict().count("url") && root.dict().at("url").isString()) {
        if (auto url = URL::string(root.dict().at("url").string())) {
            const auto scheme = url->scheme().value_or("");
            if ((scheme == "https" || scheme == "http") && url->host())
                feed.downloadURL = url->absoluteString();
        }
    }
    return feed;
}

namespace {

// The next dotted part's number; advances past the part and its dot.
uint64_t nextPart(const std::string& v, size_t& pos) {
    uint64_t value = 0;
    while (pos < v.size() && std::isdigit(static_cast<unsigned char>(v[pos]))) {
        const uint64_t digit = static_cast<uint64_t>(v[pos] - '0');
        // Absurdly long numbers saturate instead of wrapping.
        value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
        ++pos;
    }
    while (pos < v.size() && v[pos] != '.')
        ++pos;
    if (pos < v.size()) ++pos;
    return value;
}

} // namespace

int SPUUpdateFeed::compareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const uint64_t x = nextPart(a, i), y = nextPart(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

SPUUpdateFeed::Fetcher SPUUpdateFeed::httpFetcher() {
    return [](const URL& feedURL, Completion completion) {
        URLRequest request(feedURL.absoluteString(), 30.0);
        auto task = URLSession::shared().dataTask(
            std::move(request),
            [completion](std::optional<Data> data, std::optional<HTTPURLResponse> response,
                         std::optional<Error> error) {
                std::optional<std::string> body, failure;
                if (error) {
                    failure = error->localizedDescription();
                } else if (!response || response->statusCode < 200 || response->statusCode > 299) {
                    failure = "the update server answered with status " +
                              std::to_string(response ? response->statusCode : 0);
                } else {
                    body = data ? std::string(data->begin(), data->end()) : std::string();
                }
                mainQueue().async([completion, body, failure] { completion(body, failure); });
            });
        task->resume();
    };
}

} // namespace plat
