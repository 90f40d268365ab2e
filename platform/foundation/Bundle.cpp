#include "platform/foundation/Bundle.h"

#include "platform/log/OSLog.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <vector>

namespace fs = std::filesystem;

namespace plat {

Bundle& Bundle::main() {
    static Bundle* bundle = new Bundle(paths::bundleDir());
    return *bundle;
}

Bundle::Bundle(fs::path path) : path_(std::move(path)) {}

const Object::Dict& Bundle::infoDictionary() const {
    std::call_once(infoOnce_, [this] {
        const fs::path file = path_ / "Info.plist";
        std::error_code ec;
        if (!fs::exists(file, ec)) return;
        auto bytes = paths::readFile(file);
        Error error;
        Object root = bytes ? PropertyList::fromBytes(*bytes, &error) : Object();
        if (root.isDict()) {
            info_ = root.dict();
            return;
        }
        std::string reason = !bytes            ? "unreadable"
                             : root.isAbsent() ? error.localizedDescription()
                                               : std::string("not a dictionary");
        OSLog("io.velmora.mac", "Bundle").error("Ignoring " + file.string() + ": " + reason);
    });
    return info_;
}

Object Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    const auto& info = infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? Object() : it->second;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    Object id = objectForInfoDictionaryKey("CFBundleIdentifier");
    if (!id.isString()) return std::nullopt;
    return id.string();
}

std::optional<fs::path> Bundle::pathForResource(const std::string& name, const std::string& type) const {
    // Only plain file names: a resource lookup must never reach outside the bundle.
    auto plain = [](const std::string& s) {
        return s.find('/') == std::string::npos && s.find('\0') == std::string::npos && s != "." && s != "..";
    };
    if (name.empty() || !plain(name) || !plain(type)) return std::nullopt;
    const std::string fileName = type.empty() ? name : name + "." + type;

    std::error_code ec;
    auto regular = [&](const fs::path& p) { return fs::is_regular_file(p, ec); };
    if (regular(path_ / fileName)) return path_ / fileName;

    std::vector<fs::path> folders;
    for (auto it = fs::directory_iterator(path_, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->is_directory(ec)) folders.push_back(it->path());
    std::sort(folders.begin(), folders.end());
    for (const auto& folder : folders)
        if (regular(folder / fileName)) return folder / fileName;
    return std::nullopt;
}

} // namespace plat
