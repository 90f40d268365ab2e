#include "crash/report/TSRStackFrame.h"

#include <cinttypes>
#include <cstdio>

namespace {

const char* text(const std::optional<std::string>& value) {
    return value ? value->c_str() : "(null)";
}

} // namespace

TSRStackFrame::TSRStackFrame(std::string symbol, std::string fileName, uint32_t lineNumber)
    : isSymbolicated_(true), lineNumber_(lineNumber), symbol_(std::move(symbol)),
      fileName_(std::move(fileName)) {}

TSRStackFrame TSRStackFrame::stackFrameWithAddress(uint64_t address) {
    TSRStackFrame frame;
    frame.address_ = address;
    return frame;
}

TSRStackFrame TSRStackFrame::stackFrameWithSymbol(const std::string& symbol) {
    TSRStackFrame frame;
    frame.symbol_ = symbol;
    frame.rawSymbol_ = symbol;
    return frame;
}

TSRStackFrame TSRStackFrame::stackFrameWithSymbol(const std::string& symbol, const std::string& fileName,
                                                  uint32_t lineNumber) {
    return TSRStackFrame(symbol, fileName, lineNumber);
}

std::string TSRStackFrame::description() const {
    // Texts come from symbol tables and hosts: sized output, never a fixed buffer.
    auto format = [](const char* pattern, auto... values) {
        const int length = std::snprintf(nullptr, 0, pattern, values...);
        std::string out(length > 0 ? static_cast<size_t>(length) : 0, '\0');
        if (length > 0) std::snprintf(out.data(), out.size() + 1, pattern, values...);
        return out;
    };
    if (isSymbolicated_) return format("{%s - %s:%u}", text(fileName_), text(symbol_), lineNumber_);
    if (!fileName_) return format("{[0x%" PRIx64 " + %u] %s}", address_, lineNumber_, text(symbol_));
    return format("{[0x%" PRIx64 "] %s - %s:%u}", address_, text(fileName_), text(symbol_), lineNumber_);
}
