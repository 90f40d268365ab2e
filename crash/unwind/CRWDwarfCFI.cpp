// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDwarfCFI.h"

#include "crash/unwind/CRWUnwindLog.h"

#include <cstring>

namespace {

// Reads a record's length and bounds the cursor to the record; *recordEnd is its end.
bool openRecord(CRWByteCursor* cursor, const CRWDwarfSection* section, uint64_t address, uint64_t* length) {
    if (section == nullptr || address < section->start || address >= section->end) return false;
    *cursor = CRWByteCursor{address, section->end};
    if (!CRWParseRecordLengthAndAdvance(cursor, length)) return false;
    if (*length == 0) return true;
    if (!CRWCursorHas(cursor, *length)) return false;
    cursor->end = cursor->position + *length;
    return true;
}

bool setInstructions(CRWDwarfInstructions* instructions, const CRWByteCursor* cursor) {
    if (cursor->position > cursor->end || cursor->end - cursor->position > 0xFFFFFFFFull) return false;
    instructions->start = cursor->position;
    instructions->length = static_cast<uint32_t>(cursor->end - cursor->position);
    return true;
}

bool parseAugmentationData(CRWDwarfCIERecord* cie, CRWByteCursor* cursor, const CRWDwarfSection* section) {
    uint64_t dataLength = 0;
    if (!CRWParseULEB128AndAdvance(cursor, &dataLength) || !CRWCursorHas(cursor, dataLength)) return false;
    const uint64_t dataEnd = cursor->position + dataLength;
    const CRWPointerEncodingBases bases{0, section->reader};
    for (const char* letter = cie->augmentation + 1; *letter != '\0'; ++letter) {
        switch (*letter) {
        case 'L':
            if (!CRWParseU8AndAdvance(cursor, &cie->lsdaEncoding)) return false;
            break;
        case 'P': {
            if (!CRWParseU8AndAdvance(cursor, &cie->personalityEncoding)) return false;
            // Nothing here calls the personality routine, so an indirect pointer is not followed:
            // the record keeps the address where the routine's pointer is stored.
            CRWByteCursor bounded{cursor->position, dataEnd};
            cie->personality =
                CRWParseAddressWithEncodingAndAdvance(&bounded, cie->personalityEncoding & 0x7F, &bases);
            if (cie->personality == CRWInvalidAddress) {
                CRWUnwindLogWarn("Error: Found an invalid start address");
                return false;
            }
            cursor->position = bounded.position;
            break;
        }
        case 'R':
            if (!CRWParseU8AndAdvance(cursor, &cie->pointerEncoding)) return false;
            break;
        case 'S':
            cie->signalFrame = 1;
            break;
        default:
            CRWUnwindLogWarn("Error: Unhandled augmentation string entry %c", *letter);
            return false;
        }
        if (cursor->position > dataEnd) return false;
    }
    // The instructions begin where the augmentation data ends, whatever its letters consumed.
    cursor->position = dataEnd;
    return true;
}

} // namespace

bool CRWDwarfFDECIEAddress(const CRWDwarfSection* section, uint64_t fdeAddress, uint64_t* cieAddress) {
    CRWByteCursor cursor{};
    uint64_t length = 0;
    if (!openRecord(&cursor, section, fdeAddress, &length) || length == 0) return false;
    const uint64_t pointerField = cursor.position;
    uint32_t pointer = 0;
    if (!CRWParseU32AndAdvance(&cursor, &pointer) || pointer == 0 || pointer > pointerField) return false;
    *cieAddress = pointerField - pointer;
    return true;
}

bool CRWDwarfCIEIsValid(const CRWDwarfCIERecord* cie) {
    return cie != nullptr && cie->length != 0 && (cie->version == 1 || cie->version == 3);
}

bool CRWDwarfParseCIERecord(CRWDwarfCIERecord* cie, const CRWDwarfSection* section, uint64_t cieAddress) {
    if (cie == nullptr) return false;
    std::memset(cie, 0, sizeof *cie);
    CRWByteCursor cursor{};
    uint64_t length = 0;
    if (!openRecord(&cursor, section, cieAddress, &length)) return false;
    if (length == 0) {
        CRWUnwindLogWarn("Error: CIE length invalid");
        return false;
    }
    cie->length = length;

    uint32_t cieId = 0;
    if (!CRWParseU32AndAdvance(&cursor, &cieId)) return false;
    if (cieId != 0) CRWUnwindLogWarn("Error: CIE flag not found");

    if (!CRWParseU8AndAdvance(&cursor, &cie->version)) return false;
    const bool supported = cie->version == 1 || cie->version == 3;
    if (!supported) CRWUnwindLogWarn("Error: CIE version %u unsupported", (unsigned)cie->version);

    if (!CRWParseStringAndAdvance(&cursor, &cie->augmentation)) return false;
    if (!CRWParseULEB128AndAdvance(&cursor, &cie->codeAlignFactor)) return false;
    if (!CRWParseLEB128AndAdvance(&cursor, &cie->dataAlignFactor)) return false;
    if (!supported) return false;
    if (cie->version == 1) {
        uint8_t ra = 0;
        if (!CRWParseU8AndAdvance(&cursor, &ra)) return false;
        cie->returnAddressRegister = ra;
    } else if (!CRWParseULEB128AndAdvance(&cursor, &cie->returnAddressRegister)) {
        return false;
    }

    if (cie->augmentation[0] == 'z') {
        if (!parseAugmentationData(cie, &cursor, section)) return false;
    } else if (cie->augmentation[0] != '\0') {
        CRWUnwindLogWarn("Error: Unimplemented: augmentation string %s", cie->augmentation);
        return false;
    }
    return setInstructions(&cie->instructions, &cursor);
}

bool CRWDwarfParseFDERecord(CRWDwarfFDERecord* fde, bool parseCIE, CRWDwarfCIERecord* cie,
                            const CRWDwarfSection* section, uint64_t fdeAddress) {
    if (fde == nullptr || cie == nullptr) return false;
    std::memset(fde, 0, sizeof *fde);
    CRWByteCursor cursor{};
    uint64_t length = 0;
    if (!openRecord(&cursor, section, fdeAddress, &length)) return false;
    if (length == 0) {
        CRWUnwindLogWarn("Error: FDE has zero length");
        return false;
    }
    fde->length = length;

    const uint64_t pointerField = cursor.position;
    if (!CRWParseU32AndAdvance(&cursor, &fde->ciePointer)) return false;
    if (fde->ciePointer == 0) {
        CRWUnwindLogWarn("Error: CIE offset invalid");
        return false;
    }
    if (parseCIE) {
        const uint64_t cieAddress = pointerField - fde->ciePointer;
        if (fde->ciePointer > pointerField || !CRWDwarfParseCIERecord(cie, section, cieAddress)) {
            CRWUnwindLogWarn("Error: Unable to parse CIE record");
            return false;
        }
    }
    if (!CRWDwarfCIEIsValid(cie)) {
        CRWUnwindLogWarn("Error: CIE invalid");
        return false;
    }

    const CRWPointerEncodingBases bases{0, section->reader};
    fde->pcStart = CRWParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding, &bases);
    if (fde->pcStart == CRWInvalidAddress) {
        CRWUnwindLogWarn("Error: Found an invalid start address");
        return false;
    }
    fde->pcRange = CRWParseAddressWithEncodingAndAdvance(&cursor, cie->pointerEncoding & 0x0F, &bases);
    if (fde->pcRange == CRWInvalidAddress) {
        CRWUnwindLogWarn("Error: Found an invalid address range");
        return false;
    }
    if (cie->augmentation != nullptr && cie->augmentation[0] == 'z') {
        uint64_t dataLength = 0;
        if (!CRWParseULEB128AndAdvance(&cursor, &dataLength) || !CRWCursorSkip(&cursor, dataLength))
            return false;
    }
    return setInstructions(&fde->instructions, &cursor);
}

bool CRWDwarfParseCFIFromFDERecord(CRWDwarfCFIRecord* record, const CRWDwarfSection* section,
                                   uint64_t fdeAddress) {
    if (record == nullptr || section == nullptr) return false;
    record->reader = section->reader;
    return CRWDwarfParseFDERecord(&record->fde, true, &record->cie, section, fdeAddress);
}

bool CRWDwarfParseCFIFromFDERecordOffset(CRWDwarfCFIRecord* record, const CRWDwarfSection* section,
                                         uint64_t fdeOffset) {
    if (record == nullptr || section == nullptr || section->start == 0 || fdeOffset == 0) return false;
    if (section->end <= section->start || fdeOffset >= section->end - section->start) return false;
    return CRWDwarfParseCFIFromFDERecord(record, section, section->start + fdeOffset);
}
