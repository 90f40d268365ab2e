// An exception that the host records itself (a recorded exception model or an on-demand
// exception): a name, a reason, its stack trace and whether it ends the process. A plain value.
// CRWExceptionRecordModel writes a model into the running report.
#pragma once

#include "crash/report/TSRStackFrame.h"

#include <string>
#include <vector>

class TSRExceptionModel {
public:
    TSRExceptionModel(std::string name, std::string reason);
    static TSRExceptionModel exceptionModelWithName(const std::string& name, const std::string& reason) {
        return TSRExceptionModel(name, reason);
    }

    bool isFatal() const { return isFatal_; }
    void setIsFatal(bool value) { isFatal_ = value; }
    bool onDemand() const { return onDemand_; }
    void setOnDemand(bool value) { onDemand_ = value; }
    const std::vector<TSRStackFrame>& stackTrace() const { return stackTrace_; }
    void setStackTrace(std::vector<TSRStackFrame> frames) { stackTrace_ = std::move(frames); }
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }

private:
    bool isFatal_ = false;
    bool onDemand_ = false;
    std::vector<TSRStackFrame> stackTrace_;
    std::string name_;
    std::string reason_;
};

// Records `model` as a custom exception of this run's report (type "custom" in the custom-exception
// store): its name, its reason (empty when none), one frame per stack frame (the address as "pc",
// the symbol, offset, library, file name and line where known) and `rollouts` (one complete JSON
// value, or none). Nothing before the crash context is up or when custom exceptions are off.
void CRWExceptionRecordModel(const TSRExceptionModel& model, const char* rollouts);
