// The three steps that turn the stack traces of one crash file into its ".symbolicated" copy: they
// share one thread array (one vector of frames per thread, in file order) and run one after the
// other on the caller's thread. Symbolication and demangling change the frames in place;
// serialization writes them out.
#pragma once

#include "crash/report/CRWSymbolResolver.h"
#include "crash/report/TSRStackFrame.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using CRWThreadArray = std::vector<std::vector<TSRStackFrame>>;

// A unit of work that runs synchronously when started, unless it was cancelled first.
class CRWOperation {
public:
    virtual ~CRWOperation() = default;
    // Runs main() on this thread to its end; nothing when cancelled.
    void start() {
        if (!isCancelled()) main();
    }
    virtual void main() = 0;
    // Safe from any thread; a running operation stops at its next check.
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

class CRWThreadArrayOperation : public CRWOperation {
public:
    explicit CRWThreadArrayOperation(std::shared_ptr<CRWThreadArray> threadArray)
        : threadArray_(std::move(threadArray)) {}
    const std::shared_ptr<CRWThreadArray>& threadArray() const { return threadArray_; }
    // Threads in order, frames in order. A cancelled operation stops after the frame at hand.
    void enumerateFramesWithBlock(const std::function<void(TSRStackFrame& frame)>& block);

private:
    std::shared_ptr<CRWThreadArray> threadArray_;
};

// Resolves every frame with the resolver; unresolved frames keep only their address.
class CRWSymbolicationOperation : public CRWThreadArrayOperation {
public:
    CRWSymbolicationOperation(std::shared_ptr<CRWThreadArray> threadArray, CRWSymbolResolver* resolver)
        : CRWThreadArrayOperation(std::move(threadArray)), symbolResolver_(resolver) {}
    void main() override;
    CRWSymbolResolver* symbolResolver() const { return symbolResolver_; }

private:
    CRWSymbolResolver* symbolResolver_;
};

// Replaces mangled symbols by their readable form; the raw symbol keeps the mangled name.
class CRWDemangleOperation : public CRWThreadArrayOperation {
public:
    using CRWThreadArrayOperation::CRWThreadArrayOperation;
    void main() override;

    // A C++ name ("_Z...") or a block-invoke name ("__Z..._block_invoke...") demangled; none for
    // anything else, or when the demangler refuses it.
    static std::optional<std::string> demangleSymbol(const char* name);
    static std::optional<std::string> demangleCppSymbol(const char* name);
    static std::optional<std::string> demangleBlockInvokeCppSymbol(const char* name);
};

// Writes the "threads" section of the ".symbolicated" file: one array per thread, one hash per frame
// with "symbol", "raw_symbol" (only when it differs), "offset" and "library".
class CRWSerializeSymbolicatedFramesOperation : public CRWThreadArrayOperation {
public:
    CRWSerializeSymbolicatedFramesOperation(std::shared_ptr<CRWThreadArray> threadArray,
                                            std::string outputPath)
        : CRWThreadArrayOperation(std::move(threadArray)), outputPath_(std::move(outputPath)) {}
    void main() override;
    const std::string& outputPath() const { return outputPath_; }
    // Whether the last run wrote the whole file.
    bool wroteFile() const { return wroteFile_; }

private:
    std::string outputPath_;
    bool wroteFile_ = false;
};
