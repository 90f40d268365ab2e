// The system log: `OSLog(subsystem, category).write(type, text)`. Lines go to standard error as
// "<time> <subsystem>[<category>] <type>: <text>"; debug and info lines are dropped unless enabled.
// Tests capture lines by installing a sink.
#pragma once

#include <functional>
#include <string>

namespace plat {

enum class OSLogType { Default, Info, Debug, Error, Fault };
const char* osLogTypeName(OSLogType type);

class OSLog {
public:
    OSLog(std::string subsystem, std::string category);
    void write(OSLogType type, const std::string& text) const;
    void debug(const std::string& text) const { write(OSLogType::Debug, text); }
    void info(const std::string& text) const { write(OSLogType::Info, text); }
    void notice(const std::string& text) const { write(OSLogType::Default, text); }
    void error(const std::string& text) const { write(OSLogType::Error, text); }
    void fault(const std::string& text) const { write(OSLogType::Fault, text); }

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    struct Entry {
        std::string subsystem, category;
        OSLogType type;
        std::string text;
    };
    using Sink = std::function<void(const Entry&)>;
    // Replaces where entries go (nullptr restores standard error); returns the previous sink.
    static Sink setSink(Sink sink);
    // Enables debug and info entries (also $VELMORA_LOG_DEBUG=1).
    static void setDebugEnabled(bool enabled);

private:
    std::string subsystem_, category_;
};

// Whole-line console output (standard output), safe from several threads: lines never interleave.
// Tests capture it with setConsoleSink.
void consoleLine(const std::string& line);
std::function<void(const std::string&)> setConsoleSink(std::function<void(const std::string&)> sink);

} // namespace plat
