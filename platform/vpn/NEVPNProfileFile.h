// The simulator's lasting state under plat::paths::vpnDir(): the saved profile ("profile.plist",
// an XML property list written atomically) and whether the tunnel is up ("tunnel.plist"), so a
// second process sees the same profile and tunnel. Paths are computed on every call.
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

    // Whether the tunnel was last left up; false when its file is refused.
    static bool tunnelUp();
    // Records the tunnel's state; a refused file is left as it is.
    static void setTunnelUp(bool up);
};

} // namespace plat
