#include "promises/TPRPromiseError.h"

#include <cstdio>
#include <cstdlib>

void TPRAssertionFailure(const char* function, const std::string& description) {
    std::fprintf(stderr, "*** Assertion failure in TPRPromise %s: %s\n", function, description.c_str());
    std::fflush(stderr);
    std::abort();
}
