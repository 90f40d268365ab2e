// Runs at crash time. The writer of record files (".crwrecord"): line-oriented JSON, one section
// per line, written without heap, locks or formatted output when the record is unbuffered, so that
// signal handlers, the exception server and terminate handlers can use it. They open their files
// with CRWFileInitInFolder, from the report folder's descriptor; everything else opens by path
// through the own-file steps.
//
// A record is owned by its caller (normally a local of the writing function). It has one writer at
// a time and is not locked. Writes report failure through their results only; a caller that goes on
// writing after a failure may leave a torn last line, which the reader skips (CRWFileRead.h).
//
// Syntax: numbers are decimal (or lower-case hex where asked); plain strings are quoted with '"',
// '\\' and control bytes escaped as in JSON; hex-encoded strings are two lower-case digits per byte;
// a missing string is null. Separators are inserted by the writer, never by the caller.
#pragma once

#include "crash/record/CRWCrashUtilities.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/types.h>

// The record of one open record file. Zeroed or with `descriptor` -1 it is closed.
struct CRWFile {
    int32_t descriptor;  // -1 after a successful close
    int32_t depth;       // hashes and arrays currently open
    bool commaPending;   // the next key, element or opener is preceded by ","
    bool buffered;       // writes go through `buffer`
    char* buffer;        // CRWFileBufferSize heap bytes, only when `buffered`
    size_t bufferLength; // bytes held in `buffer` (at most CRWFileBufferSize - 1; a zero follows)
    size_t bytesWritten; // the file's size as far as the writer knows
};

inline constexpr size_t CRWFileBufferSize = 1000;
// Calls of the write function a single partial-write loop may make before it gives up.
inline constexpr int CRWFileMaxWriteCalls = 50;
// A buffer for CRWFilePrepareUInt64: 20 decimal digits of the largest value and a zero byte.
inline constexpr size_t CRWFileNumberBufferSize = 21;

// Opening and closing ---------------------------------------------------------------------------

// Outside crash time: opens `path` write-only through the own-file steps (OwnFiles.h), made 0600
// when missing, appending (`appendMode`) or emptied; what is there is emptied or written only when
// it is a plain file of this user that no one else may write, and a link is never followed. Clears
// the record; with `bufferWrites` it allocates the write buffer. `bytesWritten` starts at the
// file's size. False (and the record closed) on any failure; the descriptor is not leaked.
bool CRWFileInitWithPathMode(CRWFile* file, const char* path, bool appendMode, bool bufferWrites);
// The same in append mode.
bool CRWFileInitWithPath(CRWFile* file, const char* path, bool bufferWrites);
// Crash time: the file `name` right in the held folder `folder` (the report folder in the crash
// context), appending and unbuffered, opened as CRWOpenOwnFileAt does: with `mustBeNew` only a file
// this call makes, and nothing at all through a folder descriptor that is no longer the folder held
// from launch, or in a process other than the one that opened it (errno as CRWOpenOwnFileAt).
// Allocates nothing.
bool CRWFileInitInFolder(CRWFile* file, const CRWHeldFolder* folder, const char* name, bool mustBeNew);
// Clears the record and takes `descriptor` (closed on failure), `bytesWritten` from its size; the
// common end of the two openings above. Allocates only with `bufferWrites`.
bool CRWFileInitWithDescriptor(CRWFile* file, int descriptor, bool bufferWrites);
// Outside crash time: deletes the file at `path` through the own-file steps, never a folder and
// never what is not the user's own (then `refused` is set). True when it is gone or was not there;
// errno tells why not otherwise.
bool CRWUnlinkIfExists(const char* path, bool* refused = nullptr);
// Flushes and frees the buffer, closes the descriptor and resets the record (descriptor -1).
// A failed close returns false and leaves the record as it was.
bool CRWFileClose(CRWFile* file);
// As CRWFileClose, and hands the final `bytesWritten` to `outBytesWritten` when it is given.
bool CRWFileCloseWithOffset(CRWFile* file, size_t* outBytesWritten);
// A valid record with an open descriptor.
bool CRWFileIsOpen(const CRWFile* file);
// Writes the buffered bytes and empties the buffer (buffered records only).
void CRWFileFlushWriteBuffer(CRWFile* file);

// Low-level writing -----------------------------------------------------------------------------

// Through the buffer when the record is buffered, else straight to the descriptor.
bool CRWFileWriteToFileDescriptorOrBuffer(CRWFile* file, const char* bytes, size_t length);
// The partial-write loop on the record's descriptor; on success `bytesWritten` grows by `length`.
bool CRWFileWriteToFileDescriptor(CRWFile* file, const char* bytes, size_t length);
// The partial-write loop on a bare descriptor.
bool CRWFileWriteWithRetries(int descriptor, const void* bytes, size_t length);

// The partial-write loop around any write function `write(bytes, length) -> ssize_t`: a length of 0
// fails at once; a call that returns 0 or less, or more than asked, fails; a short write continues
// with the rest; after CRWFileMaxWriteCalls calls without completion it fails. Interrupted or
// failing writes are not retried. Allocates nothing.
template <typename WriteFunction>
bool CRWFileLoopWithWriteBlock(const void* bytes, size_t length, WriteFunction&& write) {
    if (length == 0 || bytes == nullptr) return false;
    const char* cursor = static_cast<const char*>(bytes);
    size_t remaining = length;
    for (int call = 0; call < CRWFileMaxWriteCalls; ++call) {
        const ssize_t written = write(static_cast<const void*>(cursor), remaining);
        if (written <= 0 || static_cast<size_t>(written) > remaining) return false;
        if (static_cast<size_t>(written) == remaining) return true;
        cursor += written;
        remaining -= static_cast<size_t>(written);
    }
    return false;
}

// Raw text, as it stands (nothing for a missing text).
void CRWFileWriteStringUnquoted(CRWFile* file, const char* text);

// Numbers ---------------------------------------------------------------------------------------

// Clears `buffer` (CRWFileNumberBufferSize bytes) and writes the digits of `value` (base 16 when
// `hex`, lower case, no prefix) so that they end at index 19; returns the index of the first digit.
size_t CRWFilePrepareUInt64(char* buffer, uint64_t value, bool hex);
void CRWFileWriteUInt64(CRWFile* file, uint64_t value, bool hex);
// "-" and the magnitude when negative (the most negative value included).
void CRWFileWriteInt64(CRWFile* file, int64_t value);
// The same texts straight to a descriptor (the internal log uses these).
bool CRWFileFDWriteUInt64(int descriptor, uint64_t value, bool hex);
bool CRWFileFDWriteInt64(int descriptor, int64_t value);

// Structure -------------------------------------------------------------------------------------

// "{" and the key `name`: the start of one section line.
void CRWFileWriteSectionStart(CRWFile* file, const char* name);
// "}" and a line feed: the end of the section line.
void CRWFileWriteSectionEnd(CRWFile* file);
void CRWFileWriteHashStart(CRWFile* file);
void CRWFileWriteHashEnd(CRWFile* file);
void CRWFileWriteArrayStart(CRWFile* file);
void CRWFileWriteArrayEnd(CRWFile* file);
// An opener ("," first when pending); one level deeper, nothing pending.
void CRWFileWriteCollectionStart(CRWFile* file, char opener);
// A closer; one level up, and a comma pending when still inside a collection.
void CRWFileWriteCollectionEnd(CRWFile* file, char closer);
// "," when pending, the quoted key and ":"; nothing pending afterwards.
void CRWFileWriteHashKey(CRWFile* file, const char* key);

// Hash entries: the key, then the value; a comma is pending afterwards ------------------------------

void CRWFileWriteHashEntryUint64(CRWFile* file, const char* key, uint64_t value);
void CRWFileWriteHashEntryInt64(CRWFile* file, const char* key, int64_t value);
// A quoted plain string, or null for a missing one.
void CRWFileWriteHashEntryString(CRWFile* file, const char* key, const char* value);
// A string object (its bytes may include zero bytes): quoted, or null when absent. Not crash-time.
void CRWFileWriteHashEntryNSString(CRWFile* file, const char* key, std::optional<std::string_view> value);
// As the previous, but nothing at all (no key either) for an absent or empty string.
void CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(CRWFile* file, const char* key,
                                                   std::optional<std::string_view> value);
// Hex text of the string's bytes up to its zero byte, or null for a missing one.
void CRWFileWriteHashEntryHexEncodedString(CRWFile* file, const char* key, const char* value);
void CRWFileWriteHashEntryBoolean(CRWFile* file, const char* key, bool value);

// Array entries: a comma first when pending; a comma is pending afterwards -----------------------

void CRWFileWriteArrayEntryUint64(CRWFile* file, uint64_t value);
void CRWFileWriteArrayEntryString(CRWFile* file, const char* value);
void CRWFileWriteArrayEntryHexEncodedString(CRWFile* file, const char* value);

// Plain values without key (no separators) -------------------------------------------------------

// Quoted and escaped, or null for a missing string.
void CRWFileWriteString(CRWFile* file, const char* text);
// Hex text, or null for a missing string; an invalid record writes nothing.
void CRWFileWriteHexEncodedString(CRWFile* file, const char* text);
// `length` bytes quoted and escaped, then `suffix` unless it is the zero character.
void CRWFileWriteStringWithSuffix(CRWFile* file, const char* bytes, size_t length, char suffix);
