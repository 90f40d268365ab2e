#include "crash/image/CRWMachOSlice.h"

#include "crash/image/CRWMachOFile.h"

CRWMachOSlice::CRWMachOSlice(const CRWMachOSliceRecord& slice) : slice_(slice) {
    status_ = CRWMachOSliceEnumerateLoadCommands_f(
        &slice_, this, [](uint32_t type, uint32_t size, const uint8_t* command, void* context) {
            auto* self = static_cast<CRWMachOSlice*>(context);
            if (type == CRWMachOLoadCommandUUID) {
                if (const uint8_t* bytes = CRWMachOGetUUID(command, size))
                    self->uuid_ = CRWMachONormalizeUUID(bytes);
            } else if (type == CRWMachOLoadCommandLoadDylib) {
                if (const char* path = CRWMachOGetDylibPath(command, size))
                    self->linkedDylibs_.emplace_back(path);
            } else if (CRWMachOIsVersionMinCommand(type)) {
                self->minimumOSVersion_ = CRWMachOGetMinimumOSVersion(command, size);
                self->linkedSDKVersion_ = CRWMachOGetLinkedSDKVersion(command, size);
            }
        });
}
