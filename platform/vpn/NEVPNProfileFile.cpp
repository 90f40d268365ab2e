#include "platform/vpn/NEVPNProfileFile.h"

#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/log/OSLog.h"

#include <cerrno>

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
// Why it could not be written (naming the file); none once it is.
std::optional<std::string> writePrivate(const std::filesystem::path& path, const Object::Dict& dict) {
    std::optional<std::string> bytes = PropertyList::toXML(Object(dict));
    if (!bytes) return "Could not encode " + path.string();
    std::optional<paths::FileProblem> problem =
        paths::writeOwnFile(path, bytes->data(), bytes->size(), 0600, true, true);
    if (problem) return problem->text;
    return std::nullopt;
}

// Whether a file was refused (paths::readOwnFile); the refusal is logged, naming it. The caller
// then neither uses nor replaces nor removes it: another user may have left it in the folder.
bool leftUntouched(const std::optional<std::string>& refusal) {
    if (refusal) log().error(*refusal + "; leaving it untouched");
    return refusal.has_value();
}

// The file at `path`, with a refusal logged.
paths::OwnFile readOwn(const std::filesystem::path& path) {
    paths::OwnFile read = paths::readOwnFile(path);
    leftUntouched(read.refusal());
    return read;
}

} // namespace

std::filesystem::path NEVPNProfileFile::profilePath() {
    return paths::vpnDir() / "profile.plist";
}

NEVPNProfileFile::ReadResult NEVPNProfileFile::read(Object::Dict* profile) {
    paths::removeStaleTemporaryFiles(paths::vpnDir());
    paths::OwnFile read = readOwn(profilePath());
    Object root;
    std::string reason;
    switch (read.state) {
    case paths::OwnFile::State::Absent:
        return ReadResult::missing;
    case paths::OwnFile::State::Refused:
        return ReadResult::refused;
    case paths::OwnFile::State::Unreadable:
        return ReadResult::corrupt;
    case paths::OwnFile::State::TooLarge:
        reason = read.problem;
        break;
    case paths::OwnFile::State::Read: {
        Error error;
        root = PropertyList::fromBytes(read.bytes, &error);
        reason = root.isAbsent() ? error.localizedDescription() : "the top level is not a dictionary";
        break;
    }
    }
    if (!root.isDict()) {
        // Kept for inspection under another name; the next save starts a fresh profile.
        // A reader on another queue may have moved it a moment ago; that one has said so.
        auto aside = paths::moveAside(profilePath());
        if (aside || paths::entryStatus(profilePath()))
            log().error("VPN profile " + profilePath().string() + " is damaged (" + reason + "); " +
                        (aside ? "moved it to " + aside->string() : std::string("could not move it aside")));
        return ReadResult::corrupt;
    }
    *profile = root.dict();
    return ReadResult::ok;
}

bool NEVPNProfileFile::write(const Object::Dict& profile) {
    if (leftUntouched(paths::refusalOf(profilePath()))) return false;
    return !writePrivate(profilePath(), profile);
}

bool NEVPNProfileFile::remove() {
    if (leftUntouched(paths::refusalOf(profilePath()))) return false;
    std::optional<paths::FileProblem> problem = paths::removeOwn(profilePath());
    if (problem && problem->refused) leftUntouched(problem->text);
    return !problem || problem->error == ENOENT;
}

NEVPNProfileFile::TunnelState NEVPNProfileFile::tunnelState() {
    paths::OwnFile read = readOwn(tunnelPath());
    if (read.state != paths::OwnFile::State::Read) return TunnelState::down;
    Object root = PropertyList::fromBytes(read.bytes);
    const Object& up = root["up"];
    if (!up.isNumber() || !up.number().boolValue()) return TunnelState::down;
    const Object& stop = root["stopRequested"];
    return stop.isNumber() && stop.number().boolValue() ? TunnelState::stopping : TunnelState::up;
}

void NEVPNProfileFile::setTunnelState(TunnelState state) {
    if (leftUntouched(paths::refusalOf(tunnelPath()))) return;
    std::optional<std::string> failed;
    switch (state) {
    case TunnelState::up:
        if ((failed = writePrivate(tunnelPath(), Object::Dict{{"up", Object(true)}})))
            log().error(*failed + "; the tunnel is up all the same, but another process or the next launch "
                                  "finds it down");
        break;
    case TunnelState::stopping:
        // Still up, so that a reader that knows no stop entry sees the tunnel as it is.
        if ((failed = writePrivate(tunnelPath(),
                                   Object::Dict{{"up", Object(true)}, {"stopRequested", Object(true)}})))
            log().error(*failed + "; the stop goes ahead unrecorded: should the process end before it is done, "
                                  "the tunnel stays recorded up");
        break;
    case TunnelState::down:
        if (std::optional<paths::FileProblem> problem = paths::removeOwn(tunnelPath());
            problem && problem->refused)
            leftUntouched(problem->text);
        break;
    }
}

} // namespace plat
