// This binary's login-item code reads the main bundle's identifier, so it gets a test bundle.
#include "tests/support/TestSupport.h"

namespace {
const auto* registered = testsupport::addTestBundleEnvironment();
} // namespace
