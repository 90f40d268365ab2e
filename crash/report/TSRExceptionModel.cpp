#include "crash/report/TSRExceptionModel.h"

#include "crash/capture/CRWException.h"

TSRExceptionModel::TSRExceptionModel(std::string name, std::string reason)
    : name_(std::move(name)), reason_(std::move(reason)) {}

void CRWExceptionRecordModel(const TSRExceptionModel& model, const char* rollouts) {
    auto text = [](const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; };
    // The frames point into the model's strings, which outlive the (synchronous) write.
    std::vector<CRWStackFrame> frames;
    frames.reserve(model.stackTrace().size());
    for (const TSRStackFrame& frame : model.stackTrace()) {
        CRWStackFrame& written = frames.emplace_back();
        written.pc = frame.address();
        written.symbol = text(frame.symbol());
        written.offset = frame.offset();
        written.library = text(frame.library());
        written.file = text(frame.fileName());
        written.line = frame.lineNumber();
    }
    CRWExceptionRecordModel(model.name(), model.reason(), frames, rollouts);
}
