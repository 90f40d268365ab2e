#include "transport/TTRConsoleLogger.h"

#include "platform/log/OSLog.h"

#include <cstdio>
#include <mutex>

std::atomic<int> TTRConsoleLoggerLoggingLevel{TTRLoggingLevelErrors};

namespace {

// The platform's standard log: every line, at the default type, so the transport's own threshold
// alone decides what is written.
const plat::OSLog& standardLog() {
    static const auto* log = new plat::OSLog("com.tessera.transport", "TesseraTransport");
    return *log;
}

struct AssertionHook {
    std::mutex lock;
    TTRAssertionBlock block;
};

AssertionHook& hook() {
    static auto* instance = new AssertionHook;
    return *instance;
}

std::string fileNameOf(const char* file) {
    if (file == nullptr || *file == '\0') return "<Unknown File>";
    std::string_view path(file);
    size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.empty() ? "<Unknown File>" : std::string(name);
}

} // namespace

std::string TTRMessageCodeEnumToString(long code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "I-TTR%06ld", code);
    return buffer;
}

void TTRLogWrite(long code, std::string_view format, const TULFormatArguments& arguments) {
    // The prefix is joined to the caller's format before the arguments are applied to the whole.
    std::string whole = std::string(kTTRServiceTag) + "[" + TTRMessageCodeEnumToString(code) + "] ";
    whole.append(format);
    standardLog().notice(TULStringWithFormat(whole, arguments));
}

void TTRLogAssert(bool fatal, std::string_view file, long line, std::string_view format,
                  const TULFormatArguments& arguments) {
    long code = fatal ? kTTRMCFatalAssertion : kTTRMCErrorLog;
    std::string prefix = std::string(kTTRServiceTag) + "[" + TTRMessageCodeEnumToString(code) + "] (" +
                         std::string(file) + ":" + std::to_string(line) + ") : ";
    // "%" in the file name must not be read as a conversion.
    std::string escaped;
    for (char c : prefix) {
        escaped.push_back(c);
        if (c == '%') escaped.push_back('%');
    }
    escaped.append(format);
    standardLog().notice(TULStringWithFormat(escaped, arguments));
}

void TTRSetAssertionBlock(TTRAssertionBlock block) {
    std::lock_guard guard(hook().lock);
    hook().block = std::move(block);
}

TTRAssertionBlock TTRAssertionBlockToRunInstead() {
    std::lock_guard guard(hook().lock);
    return hook().block;
}

void TTRAssertionFailed(const char* file, long line, std::string_view format,
                        const TULFormatArguments& arguments) {
    if (TTRAssertionBlock block = TTRAssertionBlockToRunInstead()) {
        block();
        return;
    }
    TTRLogAssert(false, fileNameOf(file), line, format, arguments);
}
