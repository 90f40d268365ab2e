// The process-wide set-up of the HTTP library and the cryptography under it. It runs once, on the
// main thread, while the program loads: the HTTP library's global set-up is not safe to race with
// other threads, and made late by a worker it could meet the process's exit. Its global cleanup is
// never called, since a worker may be in an exchange until the very end.
#pragma once

namespace plat {

// Sets the libraries up unless that is done; any thread.
void initializeNetworkLibraries();

} // namespace plat
