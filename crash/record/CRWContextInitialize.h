// Start-up of the crash context, once per launch, for the report folder of the run: the three
// serial queues, the guarded allocator, every record-file path, the handlers, image tracking, user
// logging and the metadata file, run in parallel; then the read-only half is write-protected.
//
// This library is the lowest crash-reporting layer, so the steps that belong to higher layers
// (image tracking, the handlers, user logging, the executable's description) are hooks that the
// crash reporter's start-up installs before it calls CRWContextInitialize. A hook left unset is
// skipped.
#pragma once

#include "crash/record/CRWContextInitData.h"
#include "crash/record/CRWFile.h"
#include "platform/dispatch/DispatchQueue.h"

#include <string>

struct CRWContextStartupHooks {
    // After the logging paths are set: CRWUserLoggingInit.
    void (*userLogging)() = nullptr;
    // After the image file path is set: CRWBinaryImageInit.
    void (*binaryImages)() = nullptr;
    // Without a debugger only, on the thread that calls CRWContextInitialize before the parallel
    // blocks start: the set-up that belongs to that thread (its alternate signal stack).
    void (*initializingThread)() = nullptr;
    // Without a debugger only: the signal, Mach-exception and uncaught-exception handlers.
    void (*signals)() = nullptr;
    void (*machExceptions)() = nullptr;
    void (*exceptions)() = nullptr;
    // Writes the "executable" section of the metadata (CRWBinaryImageRecordMainExecutable).
    // Unset, the section names the executable's path only.
    bool (*recordMainExecutable)(CRWFile* file) = nullptr;
    // Whether a debugger is attached; unset, CRWProcessDebuggerAttached.
    bool (*debuggerAttached)() = nullptr;
    // Tests only: called on the initialising thread before it completes start-up (claimed false),
    // and by whichever path completes it right after claiming that (claimed true), so that a test
    // can hold either at the moment the other would come.
    void (*completionForTesting)(bool byInitializingThread, bool claimed) = nullptr;
};

// Replaces the hooks used by later start-ups. Call before CRWContextInitialize.
void CRWContextSetStartupHooks(const CRWContextStartupHooks& hooks);
// The hooks in force.
CRWContextStartupHooks CRWContextCurrentStartupHooks();

// The crash reporter's serial queues: "com.tessera.crashwatch.mac" + ".logging", ".binary-images"
// and ".exception". Made once per process.
plat::DispatchQueue CRWLoggingQueue();
plat::DispatchQueue CRWBinaryImageQueue();
plat::DispatchQueue CRWExceptionQueue();

// The first step of start-up: the queues, the allocator and both contexts, zeroed; not yet
// initialized. Every call makes a fresh allocator and context.
void CRWContextBaseInit();
// Runs start-up for `initData`'s report folder and waits for it at most 5 seconds (a slower
// start-up is logged and left to finish). False without a root path: then the crash reporter runs
// without crash capture. Handlers are not installed while a debugger is attached.
bool CRWContextInitialize(const CRWContextInitData* initData);
// (Re)writes "metadata.crwrecord" in `rootPath`: the identity, host, application and executable
// sections. False when the file cannot be opened. Also called whenever the app session changes.
bool CRWContextRecordMetadata(const std::string& rootPath, const CRWContextInitData& initData);
// The folder at `path`, reached through the own-file steps (OwnFiles.h) and held for the crash-time
// files made in it (CRWReadOnlyContext::reportFolder): a descriptor of 3 or above, close-on-exec,
// with the folder's device and inode and this process (CRWHoldFolder); CRWNoHeldFolder when it
// cannot be opened. The caller owns the descriptor.
CRWHeldFolder CRWContextOpenFolder(const std::string& path);
// Closes a held folder's descriptor; `folder` is none afterwards.
void CRWContextCloseFolder(CRWHeldFolder* folder);
// `rootPath` joined with `fileName`.
std::string CRWContextPathInRoot(const std::string& rootPath, const char* fileName);
// The same, copied into the guarded region.
const char* CRWContextAppendToRoot(const std::string& rootPath, const char* fileName);

// The "host" section's pieces: the documents folder and the page size into the context.
void CRWHostInitialize();
// Writes the "host" section; always true.
bool CRWHostRecord(CRWFile* file);
// One host entry from a kernel fact read into `buffer` (128 bytes), "(failed)" when unreadable.
void CRWHostWriteSysctlEntry(CRWFile* file, const char* key, const char* sysctlName, char* buffer);
