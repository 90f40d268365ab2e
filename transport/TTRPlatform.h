// The event transport's thin layer over the operating system: its root folder under the caches
// folder, the reading of reachability flags and network facts, and secure keyed archiving to and
// from files (written atomically, private to the user). Every function is thread-safe.
#pragma once

#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/SecureCoding.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace plat::paths {
class OwnFolder;
}

// The transport's root folder, "<caches>/tessera-sdks-events", created when missing (an assertion
// reports a failure; the path is answered all the same). Follows $VELMORA_HOME on every call.
std::filesystem::path TTRRootDirectory();

// Reachable and no connection still required: (flags & 6) == 2.
bool TTRReachabilityFlagsReachable(uint32_t flags);
// There is no cellular flag on this platform.
bool TTRReachabilityFlagsContainWWAN(uint32_t flags);
// 1 when the current flags carry the reachable bit, else 0.
int32_t TTRNetworkTypeMessage();
// Always 0 here (no mobile sub-types).
int32_t TTRNetworkMobileSubTypeMessage();
// Always "Unknown" here.
std::string TTRDeviceModel();

// The largest archive the transport reads back: its whole storage is capped at this many bytes.
inline constexpr uint64_t kTTRMaxArchiveSize = 20000000;

// The secure keyed archive of `object`; none with `error` set when archiving fails. With a
// non-empty `path` the bytes are also written there (the folder is created first); a failed write
// is logged and the bytes are answered all the same.
std::optional<plat::Data> TTREncodeArchive(const plat::SecureCoding& object,
                                           const std::filesystem::path& path, plat::Error* error);

// One object of `objectClass` from `bytes`; null with `error` set for anything else.
std::shared_ptr<plat::SecureCoding> TTRDecodeArchive(const plat::SecureCodingClass& objectClass,
                                                     const plat::Data& bytes, plat::Error* error);
// The same read from a file (null with the read error when it cannot be read).
std::shared_ptr<plat::SecureCoding> TTRDecodeArchiveAtPath(const plat::SecureCodingClass& objectClass,
                                                           const std::filesystem::path& path,
                                                           plat::Error* error);
template <typename T>
std::shared_ptr<T> TTRDecodeArchiveAtPath(const std::filesystem::path& path, plat::Error* error) {
    return std::static_pointer_cast<T>(TTRDecodeArchiveAtPath(plat::SecureCodingClass::of<T>(), path, error));
}
template <typename T> std::shared_ptr<T> TTRDecodeArchive(const plat::Data& bytes, plat::Error* error) {
    return std::static_pointer_cast<T>(TTRDecodeArchive(plat::SecureCodingClass::of<T>(), bytes, error));
}

// Writes `data` to `path` atomically, creating the folder first; false with `error` set on failure
// (an empty path writes nothing and answers false).
bool TTRWriteDataToFile(const plat::Data& data, const std::filesystem::path& path, plat::Error* error);
// The same for the entry `name` right in `folder`, which the caller holds open (and made).
bool TTRWriteDataToFile(const plat::Data& data, const plat::paths::OwnFolder& folder, const std::string& name,
                        plat::Error* error);
