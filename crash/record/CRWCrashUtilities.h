// Runs at crash time. Small functions that crash-time code shares: opening a file of the report
// folder, UUID redaction, hex digits and error-number names. None of them allocates, locks or keeps
// state.
#pragma once

#include <cstdint>

// A write-only, appending descriptor of the file `name` right in the folder open as `folder` (the
// descriptor the launch opened through the own-file steps, CRWContextOpenFolder), made 0600 when
// missing; with `mustBeNew` only a file this call makes. The name is never followed as a link, a
// pipe never blocks the open, and what was opened is kept only when it is a plain file of this
// user that no one else may write; anything else is closed unwritten (errno EPERM). -1 on failure.
int CRWOpenOwnFileAt(int folder, const char* name, bool mustBeNew);
// In place: the first "(" whose ")" comes exactly 37 characters later has every character between
// them except "-" replaced by "*". Other parentheses are skipped; text without such a pair is left.
void CRWRedactUUID(char* text);
// "0"-"9", "a"-"f" and "A"-"F" to 0-15; anything else 255.
uint8_t CRWNybbleFromChar(char character);
// The symbolic name of an error number ("ENOENT"), or "unknown error"; a constant string, unlike
// the locale-dependent message texts, so it may be used where nothing may allocate.
const char* CRWErrnoName(int error);
