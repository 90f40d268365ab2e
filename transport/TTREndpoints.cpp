#include "transport/TTREndpoints.h"

#include "core/TSRTesseraBase.h"

namespace {

// Each built-in address is assembled by its own once-only step from the parts below. None is ever
// destroyed: the upload queues look them up until the process has ended.
constexpr const char* kScheme = "https://";
constexpr const char* kUploadHost = "telemetry.velmora.example";
constexpr const char* kPlaceholderHost = "placeholder.velmora.example";
constexpr const char* kLogPathSuffix = "/batchlog";

const std::string& ttwURL() {
    static const std::string* url =
        new std::string(std::string(kScheme) + kUploadHost + "/v1/ttw" + kLogPathSuffix);
    return *url;
}

const std::string& tlgURL() {
    static const std::string* url =
        new std::string(std::string(kScheme) + kUploadHost + "/v1/tlg" + kLogPathSuffix);
    return *url;
}

const std::string& crwURL() {
    static const std::string* url =
        new std::string(std::string(kScheme) + kUploadHost + "/v1/crw" + kLogPathSuffix);
    return *url;
}

const std::map<int64_t, std::string>& builtInURLs() {
    static const auto* urls = new std::map<int64_t, std::string>{
        {1000, ttwURL()},
        {1001, tlgURL()},
        {1002, crwURL()},
        {1003, std::string(kScheme) + kPlaceholderHost + "/dummy/api/very/long"},
    };
    return *urls;
}

} // namespace

std::map<int64_t, std::string> TTREndpoints::uploadURLs() {
    std::map<int64_t, std::string> urls;
    for (const auto& [target, url] : builtInURLs())
        urls.emplace(target, TSRTesseraURL(url));
    return urls;
}

std::optional<std::string> TTREndpoints::uploadURLForTarget(int64_t target) {
    auto found = builtInURLs().find(target);
    if (found == builtInURLs().end()) return std::nullopt;
    return TSRTesseraURL(found->second);
}
