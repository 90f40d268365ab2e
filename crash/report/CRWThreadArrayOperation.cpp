#include "crash/report/CRWThreadArrayOperation.h"

#include "crash/record/CRWFile.h"
#include "crash/record/CRWSharedLog.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kBlockInvoke = "_block_invoke";
// Longer names are not handed to the demangler: its recursion grows with the name.
constexpr size_t kMaxDemangledNameLength = 16384;

std::optional<std::string_view> optionalView(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return std::string_view(*text);
}

} // namespace

void CRWThreadArrayOperation::enumerateFramesWithBlock(
    const std::function<void(TSRStackFrame& frame)>& block) {
    if (!threadArray_) return;
    for (std::vector<TSRStackFrame>& thread : *threadArray_) {
        for (TSRStackFrame& frame : thread) {
            block(frame);
            if (isCancelled()) return;
        }
    }
}

void CRWSymbolicationOperation::main() {
    if (!symbolResolver_ || !threadArray()) return;
    for (std::vector<TSRStackFrame>& thread : *threadArray()) {
        // A thread's first frame is where it stood, and so is the frame below a signal's.
        CRWFramePC kind = CRWFramePC::Exact;
        for (TSRStackFrame& frame : thread) {
            (void)symbolResolver_->updateStackFrame(frame, kind);
            kind = frame.symbol() == CRWSymbolResolver::kSignalTrampolineName ? CRWFramePC::Exact
                                                                              : CRWFramePC::ReturnAddress;
            if (isCancelled()) return;
        }
    }
}

void CRWDemangleOperation::main() {
    enumerateFramesWithBlock([](TSRStackFrame& frame) {
        if (!frame.rawSymbol()) return;
        if (std::optional<std::string> demangled = demangleSymbol(frame.rawSymbol()->c_str()))
            frame.setSymbol(std::move(demangled));
    });
}

std::optional<std::string> CRWDemangleOperation::demangleSymbol(const char* name) {
    if (name == nullptr) return std::nullopt;
    if (std::strncmp(name, "_Z", 2) == 0) return demangleCppSymbol(name);
    if (std::strncmp(name, "__Z", 3) == 0) return demangleBlockInvokeCppSymbol(name);
    return std::nullopt;
}

std::optional<std::string> CRWDemangleOperation::demangleCppSymbol(const char* name) {
    if (name == nullptr || std::strlen(name) > kMaxDemangledNameLength) return std::nullopt;
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || demangled == nullptr) {
        std::free(demangled);
        return std::nullopt;
    }
    std::string text(demangled);
    std::free(demangled);
    return text;
}

std::optional<std::string> CRWDemangleOperation::demangleBlockInvokeCppSymbol(const char* name) {
    if (name == nullptr) return std::nullopt;
    const std::string_view full(name);
    const size_t at = full.rfind(kBlockInvoke);
    if (at == std::string_view::npos || at < 5) return std::nullopt;
    const std::string inner(full.substr(1, at - 1));
    std::optional<std::string> demangled = demangleSymbol(inner.c_str());
    if (!demangled) return std::nullopt;
    return *demangled + std::string(full.substr(at));
}

void CRWSerializeSymbolicatedFramesOperation::main() {
    wroteFile_ = false;
    CRWFile file;
    // Not crash-time code, so the writes may be buffered.
    if (!CRWFileInitWithPathMode(&file, outputPath_.c_str(), false, true)) {
        CRWErrorLog("Failed to create output file");
        return;
    }
    CRWFileWriteSectionStart(&file, "threads");
    CRWFileWriteArrayStart(&file);
    if (threadArray()) {
        for (const std::vector<TSRStackFrame>& thread : *threadArray()) {
            CRWFileWriteArrayStart(&file);
            for (const TSRStackFrame& frame : thread) {
                CRWFileWriteHashStart(&file);
                CRWFileWriteHashEntryNSString(&file, "symbol", optionalView(frame.symbol()));
                // Equal texts are written once; two missing ones still count as different.
                if (!(frame.symbol() && frame.rawSymbol() && *frame.symbol() == *frame.rawSymbol()))
                    CRWFileWriteHashEntryNSString(&file, "raw_symbol", optionalView(frame.rawSymbol()));
                CRWFileWriteHashEntryUint64(&file, "offset", frame.offset());
                CRWFileWriteHashEntryNSString(&file, "library", optionalView(frame.library()));
                CRWFileWriteHashEnd(&file);
            }
            CRWFileWriteArrayEnd(&file);
        }
    }
    CRWFileWriteArrayEnd(&file);
    CRWFileWriteSectionEnd(&file);
    wroteFile_ = CRWFileClose(&file);
}
