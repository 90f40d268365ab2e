// One frame of a stack trace that the host records itself (an exception model) or that
// symbolication fills in: an address and, where known, the symbol, library, file and line. A plain
// value; symbolication changes its frames in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class TSRStackFrame {
public:
    TSRStackFrame() = default;
    // Copies of the symbol and file name, the line, and symbolicated.
    TSRStackFrame(std::string symbol, std::string fileName, uint32_t lineNumber);

    // All fields empty.
    static TSRStackFrame stackFrame() { return TSRStackFrame(); }
    // Only the address set.
    static TSRStackFrame stackFrameWithAddress(uint64_t address);
    // Symbol and raw symbol both the text; not symbolicated.
    static TSRStackFrame stackFrameWithSymbol(const std::string& symbol);
    static TSRStackFrame stackFrameWithSymbol(const std::string& symbol, const std::string& fileName,
                                              uint32_t lineNumber);

    bool isSymbolicated() const { return isSymbolicated_; }
    void setIsSymbolicated(bool value) { isSymbolicated_ = value; }
    uint32_t lineNumber() const { return lineNumber_; }
    void setLineNumber(uint32_t value) { lineNumber_ = value; }
    const std::optional<std::string>& symbol() const { return symbol_; }
    void setSymbol(std::optional<std::string> value) { symbol_ = std::move(value); }
    const std::optional<std::string>& rawSymbol() const { return rawSymbol_; }
    void setRawSymbol(std::optional<std::string> value) { rawSymbol_ = std::move(value); }
    const std::optional<std::string>& library() const { return library_; }
    void setLibrary(std::optional<std::string> value) { library_ = std::move(value); }
    const std::optional<std::string>& fileName() const { return fileName_; }
    void setFileName(std::optional<std::string> value) { fileName_ = std::move(value); }
    uint64_t offset() const { return offset_; }
    void setOffset(uint64_t value) { offset_ = value; }
    uint64_t address() const { return address_; }
    void setAddress(uint64_t value) { address_ = value; }

    // "{file - symbol:line}" when symbolicated; otherwise "{[0x<address> + line] symbol}" without a
    // file name and "{[0x<address>] file - symbol:line}" with one. Missing texts read "(null)".
    std::string description() const;

    bool operator==(const TSRStackFrame&) const = default;

private:
    bool isSymbolicated_ = false;
    uint32_t lineNumber_ = 0;
    std::optional<std::string> symbol_;
    std::optional<std::string> rawSymbol_;
    std::optional<std::string> library_;
    std::optional<std::string> fileName_;
    uint64_t offset_ = 0;
    uint64_t address_ = 0;
};
