// Runs at crash time. Small functions that crash-time code shares: the folders held from launch and
// opening a file in one, UUID redaction, hex digits and error-number names. None of them allocates,
// locks or keeps state.
#pragma once

#include <cstdint>
#include <sys/types.h>

// A folder held open from launch for the files crash time makes in it (CRWContextOpenFolder): its
// descriptor, what that descriptor was when it was opened, and the process that opened it. The
// number alone does not say which folder it is by the time of a crash: a dup2 onto it, or its
// reuse after someone else's double close, makes it another folder or no folder at all; and a
// forked child holds the same number for the same folder as its parent.
struct CRWHeldFolder {
    int32_t descriptor; // 3 or above, close-on-exec; -1 when none
    pid_t process;      // the process that opened it
    dev_t device;       // the folder's device and inode when it was opened
    ino_t inode;
};
inline constexpr CRWHeldFolder CRWNoHeldFolder = {-1, 0, 0, 0};

// Holds the folder open as a copy of `descriptor` (the caller keeps and closes its own): a
// descriptor of 3 or above, so that it is never standard input, output or error of a process started
// with those closed, close-on-exec, with its device and inode and this process. CRWNoHeldFolder
// (nothing kept) when it cannot be copied or is not a folder.
CRWHeldFolder CRWHoldFolder(int descriptor);
// Whether files may be made in `folder` now: it is held, this is the process that opened it, and
// its descriptor is still the folder it was (one fstat). Otherwise false with errno EBADF (none held),
// ECHILD (another process: a forked child, which records nothing in its parent's folders) or ESTALE
// (the descriptor names something else now).
bool CRWHeldFolderUsable(const CRWHeldFolder* folder);

// A write-only, appending descriptor (3 or above, close-on-exec) of the file `name` right in the
// held folder `folder`, made 0600 when missing; with `mustBeNew` only a file this call makes.
// Nothing is opened unless CRWHeldFolderUsable (its errno then). The name is never followed as a
// link, a pipe never blocks the open, and what was opened is kept only when it is a plain file of
// this user (the effective uid, as every own-file check) that no one else may write; anything else
// is closed unwritten (errno EPERM). -1 on failure.
int CRWOpenOwnFileAt(const CRWHeldFolder* folder, const char* name, bool mustBeNew);
// In place: the first "(" whose ")" comes exactly 37 characters later has every character between
// them except "-" replaced by "*". Other parentheses are skipped; text without such a pair is left.
void CRWRedactUUID(char* text);
// "0"-"9", "a"-"f" and "A"-"F" to 0-15; anything else 255.
uint8_t CRWNybbleFromChar(char character);
// The symbolic name of an error number ("ENOENT"), or "unknown error"; a constant string, unlike
// the locale-dependent message texts, so it may be used where nothing may allocate.
const char* CRWErrnoName(int error);
