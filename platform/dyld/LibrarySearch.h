// Where the dynamic linker would look for a library that a shared library asks for by bare name.
// The linker searches the asking library's own run path (with $ORIGIN its folder) as well as the
// program's; a dlopen that reaches the program's own definition first (Dyld.cpp) has the program
// as its caller, so it hands the linker the path the asking library's search would have found.
#pragma once

#include <string>

namespace plat::dyld {

// The path under which the library containing `caller` (a code address) would find `file`
// through the folders of its own search that the program's search lacks; empty when `file` holds
// a '/', the caller is the program or belongs to no library, or no such folder holds the file, so
// the linker's own search from the program finds the same. Takes the linker's lock; allocates.
std::string pathAsSearchedBy(const char* file, const void* caller);

} // namespace plat::dyld
