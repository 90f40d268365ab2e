#include "tests/render/XServer.h"

#include "platform/render/WindowSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rendertest {

namespace {

std::vector<pid_t> gChildren;

void stopChildren() {
    for (auto pid = gChildren.rbegin(); pid != gChildren.rend(); ++pid) {
        ::kill(*pid, SIGTERM);
        ::waitpid(*pid, nullptr, 0);
    }
    gChildren.clear();
}

} // namespace

void stopAtExit(int pid) {
    if (gChildren.empty()) std::atexit(stopChildren);
    gChildren.push_back(pid);
}

bool startXvfb(std::string* display, std::string* why) {
    const char* xvfb = "/usr/bin/Xvfb";
    if (::access(xvfb, X_OK) != 0) {
        *why = "Xvfb is not installed";
        return false;
    }
    namespace fs = std::filesystem;
    for (int n = 90 + static_cast<int>(::getpid() % 200); n < 600; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        std::error_code ec;
        if (fs::exists(lock, ec) || fs::exists(socket, ec)) continue;
        const std::string name = ":" + std::to_string(n);
        pid_t pid = ::fork();
        if (pid < 0) break;
        if (pid == 0) {
            // The server's chatter stays out of the test log.
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (devnull >= 0) {
                ::dup2(devnull, 1);
                ::dup2(devnull, 2);
            }
            ::execl(xvfb, xvfb, name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once its socket exists; a server that exits lost the race for the number.
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            if (fs::exists(socket, ec)) {
                stopAtExit(pid);
                *display = name;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    *why = "no Xvfb display could be started";
    return false;
}

bool ensureDisplay(std::string* why) {
    static std::string reason;
    static const bool ok = [] {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            std::string started;
            if (!startXvfb(&started, &reason)) return false;
            ::setenv("DISPLAY", started.c_str(), 1);
        }
        if (!plat::render::WindowSystem::available()) {
            reason = "the window library could not start on $DISPLAY";
            return false;
        }
        return true;
    }();
    if (why) *why = reason;
    return ok;
}

} // namespace rendertest
