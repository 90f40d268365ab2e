// Call-frame information records of an eh_frame section: the CIE (shared parameters and initial
// instructions) and the FDE (one function's range and instructions), parsed in place with every
// length and offset checked against the section. Runs at crash time: no allocation, locks or
// exceptions.
#pragma once

#include "crash/unwind/CRWDataParsing.h"

#include <cstdint>

// The eh_frame bytes as mapped in this process, and the reader for indirect pointers.
struct CRWDwarfSection {
    uint64_t start;
    uint64_t end;
    const CRWMemoryReader* reader;
};

// A run of call-frame instructions inside a record.
struct CRWDwarfInstructions {
    uint32_t length;
    uint64_t start;
};

struct CRWDwarfCIERecord {
    uint64_t length;
    uint8_t version;
    const char* augmentation;
    uint8_t pointerEncoding;
    uint8_t lsdaEncoding;
    uint8_t personalityEncoding;
    uint64_t personality; // for indirect encodings, where the routine's pointer is stored
    uint64_t codeAlignFactor;
    int64_t dataAlignFactor;
    uint64_t returnAddressRegister;
    uint8_t signalFrame;
    CRWDwarfInstructions instructions;
};

struct CRWDwarfFDERecord {
    uint64_t length;
    uint32_t ciePointer;
    uint64_t pcStart;
    uint64_t pcRange;
    CRWDwarfInstructions instructions;
};

// A function's FDE together with its CIE, and the reader its pointers were read with.
struct CRWDwarfCFIRecord {
    CRWDwarfCIERecord cie;
    CRWDwarfFDERecord fde;
    const CRWMemoryReader* reader;
};

// Parses the CIE at cieAddress; false (logged) for a zero length, a record past the section, an
// unsupported version or augmentation, or a bad personality pointer.
bool CRWDwarfParseCIERecord(CRWDwarfCIERecord* cie, const CRWDwarfSection* section, uint64_t cieAddress);

// Parses the FDE at fdeAddress, and with parseCIE also its CIE into *cie; with parseCIE false,
// *cie must already hold the FDE's CIE. False (logged) for malformed records.
bool CRWDwarfParseFDERecord(CRWDwarfFDERecord* fde, bool parseCIE, CRWDwarfCIERecord* cie,
                            const CRWDwarfSection* section, uint64_t fdeAddress);

// The FDE at an address, or at an offset from the section start, with its CIE. The offset form
// fails for a null record, a section without start or an offset of 0.
bool CRWDwarfParseCFIFromFDERecord(CRWDwarfCFIRecord* record, const CRWDwarfSection* section,
                                   uint64_t fdeAddress);
bool CRWDwarfParseCFIFromFDERecordOffset(CRWDwarfCFIRecord* record, const CRWDwarfSection* section,
                                         uint64_t fdeOffset);

// The address of the CIE that the FDE at fdeAddress names; false when the record is damaged or is
// itself a CIE.
bool CRWDwarfFDECIEAddress(const CRWDwarfSection* section, uint64_t fdeAddress, uint64_t* cieAddress);

// True for a CIE that parsed: a length and version 1 or 3.
bool CRWDwarfCIEIsValid(const CRWDwarfCIERecord* cie);
