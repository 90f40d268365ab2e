// Exceptions as structured records. Fatal ones, an uncaught C++ exception reaching the terminate
// handler or an exception the application reports at top level, go into "exception.crwrecord"
// of the current report followed by the common crash path; custom exceptions (recorded through the
// public interface) go into the custom-exception A/B store; on-demand exceptions become a report of
// their own.
//
// The terminate handler, the fatal record and the report entry point run at crash time: they
// allocate nothing, take no lock and throw nothing (the active exception is classified through
// the C++ ABI's type information, never by rethrowing it). The custom and on-demand paths
// (CRWExceptionCustom.cpp) are ordinary code.
#pragma once

#include "crash/record/CRWContext.h"
#include "crash/record/CRWFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum CRWExceptionType : uint32_t {
    CRWExceptionTypeObjectiveC = 1, // reported by the application object at top level
    CRWExceptionTypeCpp = 2,
    CRWExceptionTypeUnknown = 3,
    CRWExceptionTypeCustom = 4,
};

// In an "exception" section: true when "name" is the mangled type name of the thrown object.
inline constexpr const char* CRWExceptionNameMangledKey = "name_mangled";

// The type's name in the record; "unknown" for types outside the table.
const char* CRWExceptionNameForType(uint32_t type);
// Types 1 and 2 end the process.
bool CRWExceptionTypeIsFatal(uint32_t type);

// One frame of a recorded exception. The texts are optional (none leaves the key out).
struct CRWStackFrame {
    uint64_t pc = 0;
    const char* symbol = nullptr;
    uint64_t offset = 0;
    const char* library = nullptr;
    const char* file = nullptr;
    int64_t line = 0; // written as its low 32 bits
};

// Deletes the exception file, installs CRWTerminateHandler keeping the previous terminate handler
// in `part`, and zeroes the custom exception counter. Runs during start-up.
void CRWExceptionInitialize(CRWExceptionPart* part, uint32_t* customExceptionCounter);
// The installed terminate handler: records the active exception, hands over to the previous
// handler when there was one, and aborts.
void CRWTerminateHandler();
// Records the exception being handled now (inside a terminate handler or a catch block) as a fatal
// "c++" record: a character string and a standard string give their text as the reason, a standard
// exception (or a pointer to one) its what() text, anything else an empty reason; the name is the
// demangled type name ("const char *" and "std::string" for the two string kinds), or the mangled
// one, marked as such, when the crash-time demangler cannot read it. The runtime's exception is
// skipped: the application object's report and the signal of the abort that follows cover it.
void CRWCatchAndRecordActiveException();

// The entry point for exceptions the application catches at its top level: records name, reason
// and the return addresses of the throw as a fatal record of the application object's type. The
// caller ends the process afterwards. Crash-time safe; at most 512 addresses are kept.
void CRWExceptionReportException(const char* name, const char* reason, const uint64_t* returnAddresses,
                                 size_t count);

// Records one exception: fatal types into the exception file with the common crash path (one
// at a time: a second thread waits for the first), other types into the custom-exception store.
// Nothing before the context is initialized.
void CRWExceptionRecord(uint32_t type, const char* name, const char* reason, const CRWStackFrame* frames,
                        size_t frameCount, const char* rollouts);
// Writes the "exception" section. `rollouts`, when given, is one complete JSON value written as it
// stands under "rollouts". `nameIsMangled` marks a type name that the crash-time demangler left
// as it was (CRWExceptionNameMangledKey: true); the next launch demangles it while it processes
// the report.
void CRWExceptionWrite(CRWFile* file, uint32_t type, const char* name, const char* reason,
                       const CRWStackFrame* frames, size_t frameCount, const char* rollouts,
                       bool nameIsMangled = false);

// The "rollouts" entry of an exception or error hash: one complete JSON value from its producer,
// written as it stands; nothing without one.
void CRWExceptionWriteRollouts(CRWFile* file, const char* rollouts);

// The demangled form of a mangled type name into `buffer`, without allocating. Names of classes
// in namespaces, the standard abbreviations, pointers, references, qualifiers and template
// arguments of those are understood; anything else is copied as it stands. False in that case.
bool CRWExceptionDemangle(const char* mangled, char* buffer, size_t size);

// Custom and on-demand exceptions (ordinary code) ------------------------------------------------

// The non-fatal branch of CRWExceptionRecord: the exception into the custom-exception A/B store,
// nothing when custom exceptions are off.
void CRWExceptionRecordCustom(uint32_t type, const char* name, const char* reason,
                              const CRWStackFrame* frames, size_t frameCount, const char* rollouts);
// A custom exception (type 4) into the custom-exception A/B store; nothing when custom exceptions
// are off (their maximum is 0).
void CRWExceptionRecordModel(const std::string& name, const std::string& reason,
                             const std::vector<CRWStackFrame>& frames, const char* rollouts = nullptr);
// Writes a new report for one exception under `activePath` (the file manager's folder of active
// reports): a copy of the current report, the counts of recorded and dropped on-demand exceptions
// as internal keys, and the exception followed by the common crash path, in "exception.crwrecord"
// (with the empty "custom_fatal.crwrecord") when `fatal`, else in "custom_exception_a.crwrecord".
// The current report's custom exceptions move to the copy. The new report's path, or none.
std::optional<std::string> CRWExceptionRecordOnDemand(uint32_t type, const std::string& name,
                                                      const std::string& reason,
                                                      const std::vector<CRWStackFrame>& frames, bool fatal,
                                                      int64_t recordedCount, int64_t droppedCount,
                                                      const std::string& activePath);
