#include "crash/image/CRWMachOBinary.h"

#include "platform/security/Digest.h"

#include <algorithm>

std::shared_ptr<CRWMachOBinary> CRWMachOBinary::MachOBinaryWithPath(const std::string& path) {
    std::shared_ptr<CRWMachOBinary> binary(new CRWMachOBinary);
    binary->path_ = path;
    if (!CRWMachOFileInitWithPath(&binary->file_, path.c_str())) return nullptr;
    const CRWMachOStatus status = CRWMachOFileEnumerateSlices(
        &binary->file_, [&](const CRWMachOSliceRecord& slice) { binary->slices_.emplace_back(slice); });
    if (status != CRWMachOStatusOK) return nullptr;
    return binary;
}

CRWMachOBinary::~CRWMachOBinary() {
    CRWMachOFileDestroy(&file_);
}

const std::string& CRWMachOBinary::instanceIdentifier() {
    if (!instanceIdentifier_) {
        std::vector<const CRWMachOSlice*> sorted;
        for (const CRWMachOSlice& slice : slices_)
            sorted.push_back(&slice);
        std::stable_sort(sorted.begin(), sorted.end(), [](const CRWMachOSlice* a, const CRWMachOSlice* b) {
            return a->architectureName() < b->architectureName();
        });
        std::string joined;
        for (const CRWMachOSlice* slice : sorted)
            joined += slice->uuid().value_or("");
        instanceIdentifier_ = hashNSString(joined);
    }
    return *instanceIdentifier_;
}

void CRWMachOBinary::enumerateUUIDs(
    const std::function<void(const std::string&, const std::string&)>& visit) const {
    for (const CRWMachOSlice& slice : slices_)
        visit(slice.uuid().value_or(""), slice.architectureName());
}

const CRWMachOSlice* CRWMachOBinary::sliceForArchitecture(const std::string& name) const {
    for (const CRWMachOSlice& slice : slices_)
        if (slice.architectureName() == name) return &slice;
    return nullptr;
}

std::string CRWMachOBinary::hashNSString(const std::string& text) {
    return plat::hexString(plat::sha1(text));
}
