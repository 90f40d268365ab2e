#include "tests/support/LaunchWait.h"

#include "platform/dyld/ElfSymbolTable.h"
#include "tests/support/TestSupport.h"

#include <cinttypes>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <elf.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string taskPath(pid_t pid, const char* what) {
    return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/" + what;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

struct Stat {
    char state = '?';
    long long ticks = -1;
};

// The main thread's state and CPU time from its stat line ("pid (name) S ... utime stime ...";
// the name may hold anything, so the fields are counted from its closing parenthesis).
Stat readStat(pid_t pid) {
    const std::string line = firstLine(taskPath(pid, "stat"));
    const size_t close = line.rfind(')');
    Stat stat;
    if (close == std::string::npos) return stat;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    for (int i = 0; i <= 12 && fields >> field; ++i) {
        if (i == 0) stat.state = field[0];
        if (i == 11) stat.ticks = std::stoll(field);
        if (i == 12) stat.ticks += std::stoll(field);
    }
    return stat;
}

std::string stateName(char state) {
    switch (state) {
    case 'R':
        return "R (running)";
    case 'S':
        return "S (sleeping)";
    case 'D':
        return "D (uninterruptible wait, disk or driver)";
    case 'T':
        return "T (stopped)";
    case 't':
        return "t (stopped by a tracer)";
    case 'Z':
        return "Z (ended, not yet reaped)";
    case 'X':
        return "X (dead)";
    default:
        return std::string(1, state);
    }
}

std::string seconds(long long ticks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s",
                  static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)));
    return text;
}

std::string secondsOf(Clock::duration d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
    return text;
}

const char* systemCallName(long number) {
    static const std::map<long, const char*> names{{SYS_read, "read"},
                                                   {SYS_write, "write"},
                                                   {SYS_readv, "readv"},
                                                   {SYS_writev, "writev"},
                                                   {SYS_poll, "poll"},
                                                   {SYS_ppoll, "ppoll"},
                                                   {SYS_select, "select"},
                                                   {SYS_pselect6, "pselect6"},
                                                   {SYS_epoll_wait, "epoll_wait"},
                                                   {SYS_epoll_pwait, "epoll_pwait"},
                                                   {SYS_recvmsg, "recvmsg"},
                                                   {SYS_recvfrom, "recvfrom"},
                                                   {SYS_sendmsg, "sendmsg"},
                                                   {SYS_sendto, "sendto"},
                                                   {SYS_connect, "connect"},
                                                   {SYS_accept, "accept"},
                                                   {SYS_accept4, "accept4"},
                                                   {SYS_futex, "futex"},
                                                   {SYS_nanosleep, "nanosleep"},
                                                   {SYS_clock_nanosleep, "clock_nanosleep"},
                                                   {SYS_wait4, "wait4"},
                                                   {SYS_waitid, "waitid"},
                                                   {SYS_openat, "openat"},
                                                   {SYS_ioctl, "ioctl"},
                                                   {SYS_flock, "flock"},
                                                   {SYS_fcntl, "fcntl"},
                                                   {SYS_fsync, "fsync"},
                                                   {SYS_fdatasync, "fdatasync"},
                                                   {SYS_pause, "pause"},
                                                   {SYS_rt_sigsuspend, "rt_sigsuspend"},
                                                   {SYS_rt_sigtimedwait, "rt_sigtimedwait"},
                                                   {SYS_sched_yield, "sched_yield"},
                                                   {SYS_mmap, "mmap"},
                                                   {SYS_munmap, "munmap"},
                                                   {SYS_exit_group, "exit_group"}};
    const auto found = names.find(number);
    return found == names.end() ? nullptr : found->second;
}

// The mapping of /proc/PID/maps that holds `address`: its file and the address's offset in it, and
// where the file's mapping at offset 0 begins (its load address).
struct Place {
    std::string file;
    uint64_t fileOffset = 0;
    uint64_t base = 0;
};

std::optional<Place> placeOf(pid_t pid, uint64_t address) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    std::map<std::string, uint64_t> bases;
    std::optional<Place> place;
    while (std::getline(maps, line)) {
        uint64_t start = 0, end = 0, offset = 0;
        char perms[8] = {};
        int pathAt = 0;
        if (std::sscanf(line.c_str(), "%" SCNx64 "-%" SCNx64 " %7s %" SCNx64 " %*s %*s %n", &start, &end,
                        perms, &offset, &pathAt) < 4)
            continue;
        const std::string file = pathAt > 0 ? line.substr(static_cast<size_t>(pathAt)) : "";
        if (offset == 0 && !bases.contains(file)) bases[file] = start;
        if (address >= start && address < end)
            place = Place{file.empty() ? "[anonymous]" : file, address - start + offset, 0};
    }
    if (place && bases.contains(place->file)) place->base = bases[place->file];
    return place;
}

// "module+0xoffset", with "(function+0xoffset)" when the module's full symbol table names it.
std::string describePlace(pid_t pid, uint64_t address) {
    const auto place = placeOf(pid, address);
    char text[64];
    if (!place) {
        std::snprintf(text, sizeof text, "0x%" PRIx64 " (in no mapping)", address);
        return text;
    }
    std::snprintf(text, sizeof text, "+0x%" PRIx64, place->fileOffset);
    std::string out = place->file + text;
    if (place->file.empty() || place->file[0] != '/') return out;
    // A position-independent file's addresses count from its load address; a fixed one's are absolute.
    uint16_t type = 0;
    std::ifstream elf(place->file, std::ios::binary);
    elf.seekg(16);
    elf.read(reinterpret_cast<char*>(&type), sizeof type);
    const uint64_t fileAddress = type == ET_EXEC ? address : address - place->base;
    const auto table = plat::dyld::ElfSymbolTable::load(place->file);
    const auto symbol = table ? table->symbolForAddress(fileAddress) : std::nullopt;
    if (symbol) {
        std::snprintf(text, sizeof text, "+0x%" PRIx64 ")", fileAddress - symbol->address);
        out += " (" + std::string(symbol->name) + text;
    } else {
        out += table ? " (no function there in its symbol table)" : " (no symbol table)";
    }
    return out;
}

// /proc/PID/task/TID/syscall: "number arg1 ... arg6 sp pc" while blocked in a call, "-1 sp pc" when
// blocked outside one, "running" when on a CPU.
std::string describeSystemCall(pid_t pid) {
    const std::string line = firstLine(taskPath(pid, "syscall"));
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string w; fields >> w;)
        words.push_back(w);
    if (words.empty()) return "  system call: (unreadable)\n";
    if (words[0] == "running") return "  system call: none, it is running on a CPU\n";
    std::string out = "  system call: ";
    const long number = std::stol(words[0]);
    if (number == -1) {
        out += "none (blocked outside one)";
    } else {
        const char* name = systemCallName(number);
        out += (name ? std::string(name) : "#" + words[0]) + "(";
        for (size_t i = 1; i < 7 && i < words.size(); ++i)
            out += (i > 1 ? ", " : "") + words[i];
        out += ")";
        if (name) out += " [" + words[0] + "]";
    }
    out += "\n";
    if (words.size() >= 3) {
        const uint64_t pc = std::stoull(words.back(), nullptr, 16);
        out += "  called from: " + describePlace(pid, pc) + "\n";
    }
    return out;
}

// The last `count` lines of a file, each indented and cut to a readable width.
std::string lastLines(const fs::path& path, size_t count) {
    const std::string text = readFile(path);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.size() > 200 ? line.substr(0, 200) + "..." : line);
    std::string out;
    for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
        out += "    " + lines[i] + "\n";
    return out.empty() ? "    (nothing)\n" : out;
}

uintmax_t sizeOf(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

std::string lastLinesOf(const std::vector<fs::path>& logs) {
    std::string out;
    for (const auto& log : logs)
        out += "last lines of " + log.filename().string() + " (" + std::to_string(sizeOf(log)) +
               " bytes):\n" + lastLines(log, 12);
    return out;
}

// Watches the test's own check of the launch's state: one that does not come back (it waits for a
// display that is stuck, say) would leave the test hanging without a word until its program is
// killed, so once it has been out for the stall, what the launch is doing goes to the errors.
class CheckWatch {
public:
    CheckWatch(pid_t pid, const std::vector<fs::path>& logs, std::chrono::milliseconds stall)
        : thread_([this, pid, logs, stall] {
              std::unique_lock lock(mutex_);
              while (!ended_) {
                  if (asking_ && !told_ && Clock::now() - since_ >= stall) {
                      told_ = true;
                      const std::string text =
                          "The test's check of the launch's state has not come back for " +
                          secondsOf(Clock::now() - since_) + "; the launch (pid " + std::to_string(pid) +
                          ") meanwhile:\n" + describeMainThread(pid) + lastLinesOf(logs);
                      std::fprintf(stderr, "%s", text.c_str());
                      std::fflush(stderr);
                  }
                  changed_.wait_for(lock, std::chrono::seconds(1));
              }
          }) {}
    ~CheckWatch() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    CheckWatch(const CheckWatch&) = delete;
    CheckWatch& operator=(const CheckWatch&) = delete;
    bool ask(const std::function<bool()>& done) {
        {
            std::lock_guard lock(mutex_);
            asking_ = true;
            since_ = Clock::now();
        }
        const bool there = done();
        std::lock_guard lock(mutex_);
        asking_ = false;
        return there;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false, asking_ = false, told_ = false;
    Clock::time_point since_;
    std::thread thread_; // last: it uses the members above
};

} // namespace

long long mainThreadCpuTicks(pid_t pid) {
    return readStat(pid).ticks;
}

std::string describeMainThread(pid_t pid) {
    const Stat stat = readStat(pid);
    if (stat.ticks < 0) return "main thread: gone\n";
    std::string out = "main thread " + std::to_string(pid) + " (" +
                      firstLine("/proc/" + std::to_string(pid) + "/comm") + "): " + stateName(stat.state) +
                      ", CPU time " + seconds(stat.ticks) + "\n";
    const std::string channel = firstLine(taskPath(pid, "wchan"));
    out += "  kernel wait channel: " + (channel.empty() || channel == "0" ? "none" : channel) + "\n";
    return out + describeSystemCall(pid);
}

::testing::AssertionResult waitForLaunch(pid_t pid, const std::function<bool()>& done,
                                         const std::vector<fs::path>& logs, const LaunchPatience& patience) {
    const auto started = Clock::now();
    const long long firstTicks = mainThreadCpuTicks(pid);
    long long ticks = firstTicks;
    std::vector<uintmax_t> sizes;
    for (const auto& log : logs)
        sizes.push_back(sizeOf(log));
    auto progressed = started;
    std::string why;
    CheckWatch watch(pid, logs, patience.stall);
    for (;;) {
        if (watch.ask(done)) return ::testing::AssertionSuccess();
        const auto now = Clock::now();
        // Progress: CPU time on the main thread, or more output.
        const long long nowTicks = mainThreadCpuTicks(pid);
        if (nowTicks > ticks) progressed = now;
        ticks = std::max(ticks, nowTicks);
        for (size_t i = 0; i < logs.size(); ++i) {
            const uintmax_t size = sizeOf(logs[i]);
            if (size != sizes[i]) progressed = now;
            sizes[i] = size;
        }
        // Ended: the child waits to be reaped, or is gone. (The main thread alone shows as a zombie
        // while the others still run, and it does so as the program exits.)
        siginfo_t info{};
        const bool ended = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
                               ? info.si_pid == pid
                               : ::kill(pid, 0) != 0;
        if (ended) {
            if (watch.ask(done)) return ::testing::AssertionSuccess();
            why = "the program ended first";
            if (info.si_pid == pid)
                why += info.si_code == CLD_EXITED ? " (exit status " + std::to_string(info.si_status) + ")"
                                                  : " (signal " + std::to_string(info.si_status) + ")";
            break;
        }
        if (now - progressed >= patience.stall) {
            why = "the program made no progress (no CPU time on its main thread, no output) for " +
                  secondsOf(now - progressed);
            break;
        }
        if (now - started >= patience.outer) {
            why = "the outer bound of " + secondsOf(patience.outer) + " passed, the program still busy";
            break;
        }
        std::this_thread::sleep_for(patience.poll);
    }
    const auto waited = Clock::now() - started;
    const long long lastTicks = mainThreadCpuTicks(pid);
    auto failure = ::testing::AssertionFailure();
    failure << "the launch (pid " << pid << ") did not get there: " << why << "; waited " << secondsOf(waited)
            << "\n";
    if (lastTicks >= 0 && readStat(pid).state != 'Z') {
        failure << describeMainThread(pid) << "  CPU time grew by " << seconds(lastTicks - firstTicks)
                << " during the wait; the last progress (CPU time or output) "
                << secondsOf(Clock::now() - progressed) << " ago\n";
    }
    return failure << lastLinesOf(logs);
}

} // namespace testsupport
