// Runs the built velmora-standin on its own and signs in against it with curl.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The executable as a child process whose standard output the test reads.
class StandinProcess {
public:
    explicit StandinProcess(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(VELMORA_STANDIN_BINARY)};
            for (auto& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(VELMORA_STANDIN_BINARY, argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~StandinProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // Reads standard output until `pattern` matches it or the time is up; the output so far.
    std::string readUntil(const std::regex& pattern,
                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!std::regex_search(output_, pattern) && std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{out_, POLLIN, 0};
            if (poll(&pfd, 1, 100) <= 0) continue;
            char buffer[512];
            ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            output_.append(buffer, static_cast<size_t>(n));
        }
        return output_;
    }

    // Sends `signal` and waits for the exit status (-1 when it does not exit in time).
    int stop(int signal) {
        kill(pid_, signal);
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return -1;
    }

    // Waits for an exit that the process makes by itself.
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

const std::regex kListening(R"(velmora-standin listening on http://127\.0\.0\.1:(\d+)/api/\n)");

} // namespace

TEST(StandinBinary, RunsOnItsOwnAndCurlSignsInWithTheDemoAccount) {
    StandinProcess process({});
    std::string output = process.readUntil(kListening);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(output, match, kListening)) << output;
    const std::string base = "http://127.0.0.1:" + match[1].str() + "/api/";
    EXPECT_NE(output.find("demo@velmora.example"), std::string::npos);

    int status = 0;
    std::string reply = testsupport::runCommand(
        "curl -s --max-time 10 -F email=demo@velmora.example -F email_password=velmora-demo "
        "-F uid=curl-uid -F platform=macSA -F os=12.7.0 -F app_version=1.0 -F 'device_name=curl box' " +
            base + "auth/login/email",
        &status);
    ASSERT_EQ(status, 0) << reply;
    auto body = nlohmann::json::parse(reply);
    ASSERT_TRUE(body["access_token"].is_string()) << reply;
    EXPECT_FALSE(body.contains("errors"));

    std::string token = body["access_token"];
    std::string devices = testsupport::runCommand(
        "curl -s --max-time 10 -H 'Authorization: Bearer " + token + "' " + base + "devices", &status);
    EXPECT_NE(devices.find("\"curl box\""), std::string::npos) << devices;

    std::string wrong = testsupport::runCommand("curl -s --max-time 10 -F email=demo@velmora.example "
                                                "-F email_password=wrong-one " +
                                                base + "auth/login/email");
    EXPECT_EQ(nlohmann::json::parse(wrong)["message"], "These credentials do not match our records.");

    EXPECT_EQ(process.stop(SIGTERM), 0);
}

TEST(StandinBinary, RejectsABadPortAndStopsOnSigint) {
    StandinProcess bad({"--port", "70000"});
    EXPECT_EQ(bad.wait(), 2);

    StandinProcess good({"--port=0"});
    ASSERT_TRUE(std::regex_search(good.readUntil(kListening), kListening));
    EXPECT_EQ(good.stop(SIGINT), 0);
}
