// The simulator's lasting state under plat::paths::vpnDir(): the saved profile ("profile.plist",
// an XML property list written atomically) and whether the tunnel is up ("tunnel.plist"; absent
// when it is down), so a second process sees the same profile and tunnel. A stop the tunnel has
// accepted is recorded there too ("stopRequested" beside "up"), so that it is carried out even when
// the process running the tunnel ends first. Paths are computed on every call.
#pragma once

#include "platform/object/Object.h"

#include <filesystem>

namespace plat {

class NEVPNProfileFile {
public:
    NEVPNProfileFile() = delete;

    enum class ReadResult { missing, ok, corrupt, refused };

    static std::filesystem::path profilePath();
    // The stored profile dictionary. A file that is not a property-list dictionary is corrupt: it
    // is moved aside (paths::moveAside) with one log line, so later reads find no profile. One that
    // is not the user's own, that others may write, or a link is refused (paths::readOwnFile) with
    // one log line naming it, and left as it is. Temporary files that killed writers left in the
    // folder are removed first.
    static ReadResult read(Object::Dict* profile);
    // Replaces the stored profile; false when it cannot be written or a refused file stands there
    // (the old file stays).
    static bool write(const Object::Dict& profile);
    // Deletes the stored profile; false only when a file exists and cannot be deleted or is refused.
    static bool remove();

    // The tunnel as last recorded: down, up, or up with a stop accepted and not yet carried out.
    // A file without the stop entry (older versions write none) is up or down as it says.
    enum class TunnelState { down, up, stopping };
    // Down when its file is refused.
    static TunnelState tunnelState();
    // Records the tunnel's state; a refused file is left as it is. A state that cannot be written
    // (a full disk) is logged, naming the file and why, and the tunnel goes on as it would.
    static void setTunnelState(TunnelState state);
    static void setTunnelUp(bool up) { setTunnelState(up ? TunnelState::up : TunnelState::down); }
};

} // namespace plat
