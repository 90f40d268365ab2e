// The process-wide set-up of the cryptography library. It runs once, on the main thread, while the
// program loads (every use calls it again, at no cost), and leaves out the library's own at-exit
// cleanup: that would free the library's locks and tables while a worker thread may still hash or
// hold a secure connection. The process's end gives the memory back.
#pragma once

namespace plat {

// Sets the library up unless that is done; any thread.
void initializeCryptoLibrary();

} // namespace plat
