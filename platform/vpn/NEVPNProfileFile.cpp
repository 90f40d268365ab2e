#include "platform/vpn/NEVPNProfileFile.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <system_error>

namespace plat {

namespace {

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
    std::error_code ec;
    if (!std::filesystem::exists(profilePath(), ec)) return ReadResult::missing;
    std::optional<std::string> bytes = paths::readFile(profilePath());
    if (!bytes) return ReadResult::corrupt;
    Object root = PropertyList::fromBytes(*bytes);
    if (!root.isDict()) return ReadResult::corrupt;
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
