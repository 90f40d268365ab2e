#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

namespace {

constexpr const char* kTempHomePrefix = "velmora-test-";

// A death test's child re-runs the binary up to the statement that is to die, and dies there: it
// never reaches a destructor or a TearDown, so whatever it makes in the temporary folder stays.
bool inDeathTestChild() {
    return !GTEST_FLAG_GET(internal_run_death_test).empty();
}

// Removes a folder and all it holds, read-only folders a test left behind included.
void removeTree(const std::filesystem::path& path) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path, ec);
}

pid_t folderOwner = 0;
const std::filesystem::path* ownFolder = nullptr;

// The last step of the process's exit (the first one registered): the dispatch layer's background
// work has ended and the desktop's programs are stopped by then, so the process leaves nothing in
// the temporary folder once it is gone. A forked child that exits is not its owner.
void removeProcessFolder() {
    if (::getpid() == folderOwner && ownFolder) removeTree(*ownFolder);
}

} // namespace

// A background queue that writes after its test removed the data root (a heartbeat or an event
// stored a moment late) makes its folders again in here rather than in the temporary folder. The
// process removes the folder as the last step of its exit; what a forked child still writes later,
// or the folder of a process that was killed, is removed by a small process of its own, once this
// process and the children it forked have ended: it waits for the end of a pipe only they hold.
const std::filesystem::path& processFolder() {
    static const std::filesystem::path* folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-tests-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        const pid_t pid = fork();
        if (pid < 0) throw std::runtime_error("fork failed");
        if (pid == 0) {
            // Only async-signal-safe calls until the exec: other threads may hold locks.
            close(ends[1]);
            // Off the test runner's pipes, which it reads until every writer is gone.
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            char byte;
            while (read(ends[0], &byte, 1) < 0 && errno == EINTR) {
            }
            execl("/bin/sh", "sh", "-c", "chmod -R u+rwx \"$1\"; rm -rf \"$1\"", "sh", pattern.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[0]); // the write end stays open for the life of this process
        folderOwner = ::getpid();
        ownFolder = new std::filesystem::path(pattern);
        std::atexit(removeProcessFolder);
        return ownFolder;
    }();
    return *folder;
}

namespace {

// Where a data root is made: this process's folder, or, in a death test's child, inside the data
// root its parent made (inherited through $VELMORA_HOME), which the parent removes with all it holds.
std::filesystem::path tempHomeParent() {
    const char* inherited = std::getenv("VELMORA_HOME");
    if (inDeathTestChild() && inherited) {
        const std::filesystem::path parent = inherited;
        std::error_code ec;
        if (parent.filename().string().rfind(kTempHomePrefix, 0) == 0 &&
            std::filesystem::is_directory(parent, ec))
            return parent;
    }
    return processFolder();
}

} // namespace

TempHome::TempHome() {
    std::string pattern = (tempHomeParent() / (std::string(kTempHomePrefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* old = std::getenv("VELMORA_HOME")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("VELMORA_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (hadPrevious_)
        setenv("VELMORA_HOME", previous_.c_str(), 1);
    else
        unsetenv("VELMORA_HOME");
    removeTree(path_);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int plantTemporaryFile(const std::filesystem::path& path, const std::string& bytes, bool held) {
    writeFile(path, bytes);
    if (!held) return -1;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(::flock(fd, LOCK_EX), 0) << path;
    return fd;
}

std::string nulKeyPropertyList() {
    return std::string("bplist00\xD1\x01\x02\x63\x00\x61\x00\x00\x00\x62\x51\x78" // dict, key, value
                       "\x00\x08\x00\x0B\x00\x12"                                 // offsets
                       "\x00\x00\x00\x00\x00\x00\x02\x01"                         // trailer: sizes
                       "\x00\x00\x00\x00\x00\x00\x00\x03"                         // objects
                       "\x00\x00\x00\x00\x00\x00\x00\x00"                         // top
                       "\x00\x00\x00\x00\x00\x00\x00\x14",                        // table offset
                       58);
}

std::string protocDecode(const std::string& bytes, const std::string& message, const std::string& protoDir,
                         const std::string& protoFile) {
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    EXPECT_TRUE(source) << "VELMORA_SOURCE_DIR is not set";
    TempHome scratch;
    const std::filesystem::path input = scratch.path() / "message.bin";
    writeFile(input, bytes);
    std::string command = message.empty()
                              ? "protoc --decode_raw"
                              : "protoc --decode=" + message + " -I '" + std::string(source ? source : "") +
                                    "/" + protoDir + "' " + protoFile;
    int status = -1;
    std::string output = runCommand(command + " < '" + input.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << command << ": " << output;
    return output;
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int rc = pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

namespace {

class TestBundle : public ::testing::Environment {
public:
    explicit TestBundle(std::string entries) : entries_(std::move(entries)) {}
    void SetUp() override {
        const std::string info = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<plist version=\"1.0\"><dict>" +
                                 entries_ + "</dict></plist>\n";
        // A death test's child finds its parent's bundle in $VELMORA_BUNDLE and uses it: a bundle
        // of its own would outlive the child, which dies before its TearDown.
        const char* inherited = std::getenv("VELMORA_BUNDLE");
        if (inDeathTestChild() && inherited &&
            readFile(std::filesystem::path(inherited) / "Info.plist") == info)
            return;
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bundle-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        writeFile(dir_ / "Info.plist", info);
        setenv("VELMORA_BUNDLE", dir_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }

private:
    std::string entries_;
    std::filesystem::path dir_;
};

} // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::string treeSnapshot(const std::filesystem::path& root) {
    std::vector<std::string> lines;
    const auto note = [&](const std::filesystem::path& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return;
        const char kind = S_ISDIR(info.st_mode)    ? 'd'
                          : S_ISREG(info.st_mode)  ? 'f'
                          : S_ISLNK(info.st_mode)  ? 'l'
                          : S_ISFIFO(info.st_mode) ? 'p'
                          : S_ISSOCK(info.st_mode) ? 's'
                                                   : '?';
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        lines.push_back(path.lexically_relative(root).string() + " " + kind + " " + mode + " uid " +
                        std::to_string(info.st_uid));
    };
    note(root);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        note(it->path());
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string inChild(const std::function<std::string()>& act) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string said = act();
        ::_exit(::write(channel[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; child > 0 && (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return said;
}

::testing::Environment* addTestBundleEnvironment() {
    return addTestBundleEnvironment("<key>CFBundleIdentifier</key><string>io.velmora.mac</string>"
                                    "<key>CFBundleName</key><string>Velmora</string>");
}

::testing::Environment* addTestBundleEnvironment(const std::string& infoEntries) {
    return ::testing::AddGlobalTestEnvironment(new TestBundle(infoEntries));
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

} // namespace testsupport
