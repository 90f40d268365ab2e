// Runs at crash time. Copies of strings found in memory we do not trust (a queue's label, a
// library's crash annotation, a pointer read from a register) into the caller's buffer, through
// the kernel's checked reads, so that a bad pointer gives an empty or cut string instead of a
// fault, and later redaction or writing works on our own bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies the string at `source` into `buffer` (`size` bytes, at least 1) up to its zero byte or
// `size` - 1 bytes, and terminates it. False (and `buffer` empty) when `source` is invalid or its
// first byte cannot be read; a string that becomes unreadable part-way is kept up to there.
bool CRWCopyStringSafely(uintptr_t source, char* buffer, size_t size);
