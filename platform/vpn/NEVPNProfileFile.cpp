#include "platform/vpn/NEVPNProfileFile.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/log/OSLog.h"

#include <system_error>

namespace plat {

namespace {

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.vpn", "profile");
    return *l;
}

std::filesystem::path tunnelPath() {
    return paths::vpnDir() / "tunnel.plist";
}

// The profile holds a keychain reference and the server; keep the folder and files private.
bool writePrivate(const std::filesystem::path& path, const Object::Dict& dict) {
    std::optional<std::string> bytes = PropertyList::toXML(Object(dict));
    if (!bytes) return false;
    if (!paths::ensureDirectory(path.parent_path(), std::filesystem::perms(0700))) return false;
    return paths::writeFileAtomically(path, *bytes, std::filesystem::perms(0600));
}

} // namespace

std::filesystem::path NEVPNProfileFile::profilePath() {
    return paths::vpnDir() / "profile.plist";
}

NEVPNProfileFile::ReadResult NEVPNProfileFile::read(Object::Dict* profile) {
    paths::removeStaleTemporaryFiles(paths::vpnDir());
    std::error_code ec;
    if (!std::filesystem::exists(profilePath(), ec)) return ReadResult::missing;
    std::optional<std::string> bytes = paths::readFile(profilePath());
    if (!bytes) return ReadResult::corrupt;
    Error error;
    Object root = PropertyList::fromBytes(*bytes, &error);
    if (!root.isDict()) {
        // Kept for inspection under another name; the next save starts a fresh profile.
        std::string reason =
            root.isAbsent() ? error.localizedDescription() : "the top level is not a dictionary";
        // A reader on another queue may have moved it a moment ago; that one has said so.
        auto aside = paths::moveAside(profilePath());
        if (aside || std::filesystem::exists(profilePath(), ec))
            log().error("VPN profile " + profilePath().string() + " is damaged (" + reason + "); " +
                        (aside ? "moved it to " + aside->string() : std::string("could not move it aside")));
        return ReadResult::corrupt;
    }
    *profile = root.dict();
    return ReadResult::ok;
}

bool NEVPNProfileFile::write(const Object::Dict& profile) {
    return writePrivate(profilePath(), profile);
}

bool NEVPNProfileFile::remove() {
    std::error_code ec;
    std::filesystem::remove(profilePath(), ec);
    return !ec;
}

bool NEVPNProfileFile::tunnelUp() {
    std::optional<std::string> bytes = paths::readFile(tunnelPath());
    if (!bytes) return false;
    Object root = PropertyList::fromBytes(*bytes);
    const Object& up = root["up"];
    return up.isNumber() && up.number().boolValue();
}

void NEVPNProfileFile::setTunnelUp(bool up) {
    if (up) {
        writePrivate(tunnelPath(), Object::Dict{{"up", Object(true)}});
    } else {
        std::error_code ec;
        std::filesystem::remove(tunnelPath(), ec);
    }
}

} // namespace plat
