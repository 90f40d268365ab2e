// The identifier of one run (and of each on-demand report): a new UUID as 32 lower-case hex
// digits, fixed at creation. It names the run's report folder.
#pragma once

#include <string>

class CRWExecutionIdentifierModel {
public:
    CRWExecutionIdentifierModel();
    const std::string& executionID() const { return executionID_; }

private:
    std::string executionID_;
};
