// What the application and the crash reporter say during a run, written into the current report
// folder as it happens so that nothing has to be written at crash time: custom key-value pairs
// (user keys and the crash reporter's internal keys), free-text log lines, recorded errors and
// custom exceptions. Key-value files are compacted and capped; logs, errors and custom exceptions
// alternate between an A and a B file so each store keeps at most its current file and the one
// before it.
//
// Every file write runs on the crash reporter's logging queue: key-value and A/B writes
// synchronously (the caller waits, so a write is in the file when the call returns), compactions
// and swaps asynchronously behind them. Not crash-time code: these allocate and take a lock. Calls
// from the logging queue itself are not allowed (they would wait for themselves).
#pragma once

#include "crash/record/CRWContext.h"
#include "crash/record/CRWFile.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/object/Error.h"
#include "platform/object/Object.h"
#include "utilities/TULStringFormat.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Record-line names and their fields.
inline constexpr const char* CRWUserLoggingKVSection = "kv";
inline constexpr const char* CRWUserLoggingKeyField = "key";
inline constexpr const char* CRWUserLoggingValueField = "value";

// The default size limits of the log and of the error log, in bytes.
uint32_t CRWUserLoggingMaxLogSize();
uint32_t CRWUserLoggingMaxErrorSize();

// Sets every active path to its A file, zeroes the key-value and error counters and sets both
// compaction thresholds to 64. Runs during start-up, before the read-only half is protected.
void CRWUserLoggingInit(CRWReadOnlyLoggingPart* readonly, CRWWritableLoggingPart* writable);

// Key-value pairs -------------------------------------------------------------------------------

// A value's text as a key-value store keeps it: strings as they are, numbers and other values by
// their description; none for the null object and for an absent value.
std::optional<std::string> CRWUserLoggingValueDescription(const plat::Object& value);

// One user key. An absent or null value removes the key (and compacts at once).
void CRWUserLoggingRecordUserKeyValue(const std::string& key, const plat::Object& value);
void CRWUserLoggingRecordUserKeysAndValues(const plat::Object::Dict& keysAndValues);
// One internal key, through the logging queue.
void CRWUserLoggingRecordInternalKeyValue(const std::string& key, const plat::Object& value);
// One internal key, written on the caller's thread without a queue hop and without forcing a
// compaction; for start-up callers that run before the queue carries work for that store.
void CRWUserLoggingWriteInternalKeyValue(const std::string& key, const plat::Object& value);
// The same on any store and counter. Nothing happens before the crash context is initialized.
void CRWUserLoggingRecordKeyValue(const std::string& key, const plat::Object& value,
                                  const CRWKVStorage* store, uint32_t* counter);
void CRWUserLoggingRecordKeysAndValues(const plat::Object::Dict& keysAndValues, const CRWKVStorage* store,
                                       uint32_t* counter);
// Appends one "kv" line per entry (key and value hex-encoded, null for the null object) to the
// store's incremental file and adds the entries to the counter; at the compaction threshold, or
// when `forceCompaction`, queues a compaction that also resets the counter. Runs on the caller's
// thread.
void CRWUserLoggingWriteKeysAndValues(const plat::Object::Dict& keysAndValues, const CRWKVStorage* store,
                                      uint32_t* counter, bool forceCompaction);

// The "kv" hashes of one key-value file, in file order; empty before the context is initialized.
// A file that cannot be read is deleted.
plat::Object::Array CRWUserLoggingStoredKeyValues(const char* path);
// "key" or "value" of one stored entry: hex-decoded with `decodeHex` (absent when the text does not
// decode to UTF-8), the null object as it stands, absent when the entry lacks it.
plat::Object CRWUserLoggingGetComponent(const plat::Object& entry, const char* component, bool decodeHex);
// The store's keys as they stand: the compacted entries, then the incremental ones in file order
// (a null value removes its key). None for an invalid store.
std::optional<plat::Object::Dict> CRWUserLoggingGetCompactedKVEntries(const CRWKVStorage* store,
                                                                      bool decodeHex);
// The same over entries already read: the compacted file's, then the incremental file's.
plat::Object::Dict CRWUserLoggingCompactedView(const plat::Object::Array& compacted,
                                               const plat::Object::Array& incremental, bool decodeHex);
// Rewrites the compacted file from the compacted view, keeping at most the store's maximum keys,
// then deletes the incremental file. The new file is written under a temporary name and renamed
// into place, so a crash in the middle leaves the previous compacted file whole.
void CRWUserLoggingCompactKVEntries(const CRWKVStorage* store);
// One "kv" line per entry; `hexEncode` hex-encodes keys and values, otherwise the stored hex text
// is copied as plain strings.
void CRWUserLoggingWriteKVEntriesToFile(const plat::Object::Dict& entries, bool hexEncode, CRWFile* file);

// A/B stores ------------------------------------------------------------------------------------

// The one writer of A/B stores: appends through `block` to the store's active file (the caller
// waits), counts the entry, then queues the check that moves the store to its other file (deleted
// first) once the active one is over its size or entry limit. Nothing happens without an active
// path or when the store's limit is 0. `activePath` points into the writable context and is read
// and changed under one process-wide lock.
void CRWUserLoggingWriteAndCheckABFiles(const CRWABStorage* store, const char** activePath,
                                        const std::function<void(CRWFile* file)>& block);

// Log lines -------------------------------------------------------------------------------------

// One "log" line: the hex-encoded message and the time in milliseconds since 1970.
void CRWLogInternalWrite(CRWFile* file, const std::string& message, uint64_t timeMilliseconds);
// Records `message` in the store: refused with a warning before the context is initialized, cut to
// the store's size limit (never inside a UTF-8 sequence), stamped with the time of day.
void CRWLogInternal(const CRWABStorage* store, const char** activePath, const std::string& message);
// A printf-style log line (see TULStringFormat.h) into the given store.
template <typename... Args>
void CRWLogToStorage(const CRWABStorage* store, const char** activePath, const std::string& format,
                     Args&&... args) {
    CRWLogInternal(store, activePath,
                   TULStringWithFormat(format, TULMakeFormatArguments(std::forward<Args>(args)...)));
}
// A printf-style log line into the run's log store.
void CRWLogMessage(const std::string& message);
template <typename... Args> void CRWLog(const std::string& format, Args&&... args) {
    CRWLogMessage(TULStringWithFormat(format, TULMakeFormatArguments(std::forward<Args>(args)...)));
}

// Errors ----------------------------------------------------------------------------------------

// Records an "error" line in the errors store: domain, code, time, the calling thread's return
// addresses, and the error's user information and `additionalInfo` when not empty. `rollouts`, when
// given, is written verbatim under "rollouts". Nothing before the context is initialized, and
// nothing while errors are disabled (the store's entry limit is 0).
void CRWUserLoggingRecordError(const plat::Error& error, const plat::Object::Dict* additionalInfo,
                               const char* rollouts = nullptr);
// `key`: an array of [hex key, hex description] pairs, one per entry that can describe itself;
// nothing at all for an empty dictionary.
void CRWUserLoggingRecordErrorUserInfo(CRWFile* file, const char* key, const plat::Object::Dict& entries);
