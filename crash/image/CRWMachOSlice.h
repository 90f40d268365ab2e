// One architecture of a Mach-O file with what its load commands say: UUID, linked libraries,
// minimum OS and SDK versions. Not for crash time.
#pragma once

#include "crash/image/CRWMachO.h"

#include <optional>
#include <string>
#include <vector>

class CRWMachOSlice {
public:
    // Walks the slice's commands once. The slice's bytes must outlive nothing: values are copied.
    explicit CRWMachOSlice(const CRWMachOSliceRecord& slice);

    const CRWMachOSliceRecord& record() const { return slice_; }
    // How the command walk went; a damaged slice reports its status and empty values.
    CRWMachOStatus status() const { return status_; }
    // The normalised LC_UUID, none without one.
    const std::optional<std::string>& uuid() const { return uuid_; }
    // The LC_LOAD_DYLIB paths, in order.
    const std::vector<std::string>& linkedDylibs() const { return linkedDylibs_; }
    // From the version-minimum commands, the last one winning; none without one.
    const std::optional<CRWMachOVersion>& minimumOSVersion() const { return minimumOSVersion_; }
    const std::optional<CRWMachOVersion>& linkedSDKVersion() const { return linkedSDKVersion_; }
    std::string architectureName() const { return CRWMachOSliceGetArchitectureName(&slice_); }

private:
    CRWMachOSliceRecord slice_;
    CRWMachOStatus status_ = CRWMachOStatusOK;
    std::optional<std::string> uuid_;
    std::vector<std::string> linkedDylibs_;
    std::optional<CRWMachOVersion> minimumOSVersion_, linkedSDKVersion_;
};
