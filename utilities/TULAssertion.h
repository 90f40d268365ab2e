// What a violated precondition of the shared utilities does: its text goes to the system log as a
// fault, and the caller goes on with its refusal. Nothing aborts, so bad input never crashes the
// process.
#pragma once

#include <string>

void TULAssertionFailed(const std::string& category, const std::string& text);
