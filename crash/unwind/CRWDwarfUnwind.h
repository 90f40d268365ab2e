// Recovers a caller's registers from a function's CIE and FDE: runs their instructions up to the
// PC, computes the CFA and applies each register rule. Runs at crash time: no allocation, no
// locks, no exceptions.
#pragma once

#include "crash/unwind/CRWDwarfState.h"

#include <cstdint>

// The CFA of a row: the CFA expression's result (initial value 0) when there is one, else the
// CFA register's value plus the offset.
bool CRWDwarfGetCFA(const CRWDwarfState* state, const CRWRegisters* registers, const CRWMemoryReader* reader,
                    uint64_t* cfa);

// The caller's value of one register under a rule, read from the unchanged current registers;
// 0 (logged) when a read or expression fails.
uint64_t CRWDwarfGetSavedRegister(const CRWDwarfRegister* rule, uint64_t cfa, const CRWRegisters* registers,
                                  const CRWMemoryReader* reader);

// Writes every rule's value (computed from the unchanged registers), SP := CFA and PC := the
// return-address column, when SP and the return address both change; otherwise the registers stay
// as they were. An undefined return address ends the stack: PC becomes 0.
bool CRWDwarfUnwindAssignRegisters(const CRWDwarfState* state, uint64_t returnAddressRegister, uint64_t cfa,
                                   CRWRegisters* registers, const CRWMemoryReader* reader);

// The whole step for the record's function at the registers' PC; on success *registers hold the
// caller's frame. The record's reader reads stack memory.
bool CRWDwarfUnwindComputeRegisters(const CRWDwarfCFIRecord* record, CRWRegisters* registers);

// The CIE's row after its initial instructions, which every FDE of that CIE starts from.
bool CRWDwarfUnwindRunCIE(const CRWDwarfCFIRecord* record, CRWDwarfState* initial);
// The step from a CIE row made earlier by CRWDwarfUnwindRunCIE (walks reuse it across frames).
bool CRWDwarfUnwindComputeRegistersFromInitialState(const CRWDwarfCFIRecord* record,
                                                    const CRWDwarfState* initial, CRWRegisters* registers);
