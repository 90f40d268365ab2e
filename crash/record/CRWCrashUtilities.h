// Runs at crash time. Small functions that crash-time code shares: file removal, UUID redaction,
// hex digits and error-number names. None of them allocates, locks or keeps state.
#pragma once

#include <cstdint>

// Deletes `path`; true when that succeeded or there was nothing to delete.
bool CRWUnlinkIfExists(const char* path);
// In place: the first "(" whose ")" comes exactly 37 characters later has every character between
// them except "-" replaced by "*". Other parentheses are skipped; text without such a pair is left.
void CRWRedactUUID(char* text);
// "0"-"9", "a"-"f" and "A"-"F" to 0-15; anything else 255.
uint8_t CRWNybbleFromChar(char character);
// The symbolic name of an error number ("ENOENT"), or "unknown error"; a constant string, unlike
// the locale-dependent message texts, so it may be used where nothing may allocate.
const char* CRWErrnoName(int error);
