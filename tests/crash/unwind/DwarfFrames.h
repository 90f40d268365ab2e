// Builds eh_frame sections for the DWARF tests: one CIE and any number of FDEs, with absolute
// (format 0) or PC-relative signed 32-bit (0x1B) start addresses.
#pragma once

#include "crash/unwind/CRWDwarfCFI.h"
#include "tests/crash/support/UnwindTestSupport.h"

#include <string>
#include <vector>

namespace crashtest {

struct CIESpec {
    std::string augmentation = "zR";
    uint8_t pointerEncoding = 0x00;
    uint64_t codeAlign = 4;
    int64_t dataAlign = -8;
    uint64_t returnRegister = 30;
    uint8_t version = 1;
    std::vector<uint8_t> instructions;
};

class EhFrameBuilder {
public:
    size_t addCIE(const CIESpec& cie) {
        cie_ = cie;
        ByteBuilder body;
        body.u32(0).u8(cie.version).string(cie.augmentation.c_str()).uleb(cie.codeAlign).sleb(cie.dataAlign);
        if (cie.version == 1)
            body.u8(static_cast<uint8_t>(cie.returnRegister));
        else
            body.uleb(cie.returnRegister);
        if (!cie.augmentation.empty() && cie.augmentation[0] == 'z') body.uleb(1).u8(cie.pointerEncoding);
        body.raw(cie.instructions.data(), cie.instructions.size());
        return record(body);
    }
    // An FDE for [start, start + range) of the last CIE; for PC-relative CIEs start is the 32-bit
    // value stored in the field.
    size_t addFDE(uint64_t start, uint64_t range, const std::vector<uint8_t>& instructions,
                  size_t cieOffset = 0) {
        ByteBuilder body;
        body.u32(static_cast<uint32_t>(bytes.size() + 4 - cieOffset));
        if ((cie_.pointerEncoding & 0x0F) == 0x0B)
            body.u32(static_cast<uint32_t>(start)).u32(static_cast<uint32_t>(range));
        else
            body.u64(start).u64(range);
        if (!cie_.augmentation.empty() && cie_.augmentation[0] == 'z') body.uleb(0);
        body.raw(instructions.data(), instructions.size());
        return record(body);
    }
    // The section over the built bytes, readable through reader.
    CRWDwarfSection section(const CRWMemoryReader* reader = nullptr) const {
        const uint64_t start = reinterpret_cast<uintptr_t>(bytes.data());
        return CRWDwarfSection{start, start + bytes.size(), reader};
    }
    uint64_t address(size_t offset) const { return reinterpret_cast<uintptr_t>(bytes.data()) + offset; }

    std::vector<uint8_t> bytes;

private:
    size_t record(const ByteBuilder& body) {
        const size_t at = bytes.size();
        ByteBuilder out;
        out.u32(static_cast<uint32_t>(body.size())).raw(body.data.data(), body.size());
        bytes.insert(bytes.end(), out.data.begin(), out.data.end());
        return at;
    }
    CIESpec cie_;
};

} // namespace crashtest
