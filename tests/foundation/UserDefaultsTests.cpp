#include "platform/log/OSLog.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace plat;

namespace {

// Every test gets a private home and fresh defaults, and captures error log lines.
class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        UserDefaults::resetForTesting();
        previousSink_ = OSLog::setSink([this](const OSLog::Entry& e) {
            std::lock_guard lock(logMutex_);
            if (e.type == OSLogType::Error) errors_.push_back(e.text);
        });
    }
    void TearDown() override {
        OSLog::setSink(previousSink_);
        UserDefaults::resetForTesting();
    }
    std::vector<std::string> errors() {
        std::lock_guard lock(logMutex_);
        return errors_;
    }
    fs::path standardFile() const { return home_.path() / "config" / "io.velmora.mac.plist"; }

    testsupport::TempHome home_;
    OSLog::Sink previousSink_;
    std::mutex logMutex_;
    std::vector<std::string> errors_;
};

// The values the two processes exchange, each with the kind it must keep.
Object::Dict sampleValues() {
    return {
        {"flag", Object(true)},
        {"one", Object(1)},
        {"negative", Object(int64_t{-42})},
        {"unsigned", Object(uint32_t{4000000000u})},
        {"ratio", Object(0.1)},
        {"name", Object("Velmora ✓ <&>")},
        {"blob", Object(Data{0, 1, 2, 255})},
        {"when", Object(Date{1700000000.25})},
        {"list", Object(Object::Array{Object(false), Object("x"), Object(Object::Array{})})},
        {"nested", Object(Object::Dict{{"inner", Object(int64_t{7})}})},
    };
}

// Compares what a store holds with the sample, kind and boolean-ness included.
void expectSampleValues(const UserDefaults& defaults) {
    for (const auto& [key, expected] : sampleValues()) {
        Object actual = defaults.object(key);
        EXPECT_EQ(actual.kind(), expected.kind()) << key;
        EXPECT_EQ(actual, expected) << key << ": " << actual.debugDescription();
    }
    EXPECT_TRUE(defaults.object("flag").number().isBool());
    EXPECT_FALSE(defaults.object("one").number().isBool());
    EXPECT_TRUE(defaults.object("list").at(0).number().isBool());
}

int runChild(const std::string& role) {
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    int status = -1;
    std::string out = testsupport::runCommand(
        "VELMORA_DEFAULTS_CHILD=" + role + " '" + exe +
            "' --gtest_also_run_disabled_tests --gtest_filter=UserDefaultsChildProcess.DISABLED_Run 2>&1",
        &status);
    if (status != 0) ADD_FAILURE() << "child " << role << " output:\n" << out;
    return status;
}

} // namespace

// Runs only when re-executed by the test below (disabled otherwise): writes or checks the sample values.
TEST(UserDefaultsChildProcess, DISABLED_Run) {
    const char* role = std::getenv("VELMORA_DEFAULTS_CHILD");
    if (!role) GTEST_SKIP() << "helper for a second process";
    auto& defaults = UserDefaults::standard();
    if (std::string(role) == "write") {
        for (const auto& [key, value] : sampleValues())
            defaults.set(key, value);
        EXPECT_TRUE(defaults.synchronize());
    } else {
        expectSampleValues(defaults);
        EXPECT_EQ(defaults.object("fromParent"), Object(false));
    }
}

TEST_F(UserDefaultsTest, ValuesAndTypesSurviveAnotherProcess) {
    ASSERT_EQ(runChild("write"), 0);
    expectSampleValues(UserDefaults::standard());

    // The file itself spells the boolean as a boolean and the integer as an integer.
    int status = -1;
    std::string xml =
        testsupport::runCommand("plistutil -i '" + standardFile().string() + "' -o - -f xml", &status);
    ASSERT_EQ(status, 0) << "plistutil (libplist-utils) is needed";
    EXPECT_NE(xml.find("<key>flag</key>\n\t<true/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<key>one</key>\n\t<integer>1</integer>"), std::string::npos) << xml;

    UserDefaults::standard().set("fromParent", false);
    ASSERT_EQ(runChild("read"), 0);
}

TEST_F(UserDefaultsTest, DamagedFilesAreMovedAsideAndGiveEmptyDefaults) {
    auto good = PropertyList::toBinary(Object(Object::Dict{{"a", Object(1)}, {"b", Object("text value")}}));
    auto goodXML = PropertyList::toXML(Object(Object::Dict{{"a", Object(1)}, {"b", Object("text value")}}));
    ASSERT_TRUE(good && goodXML);
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"garbage", "this is not a property list"},
        {"truncated binary", good->substr(0, good->size() / 2)},
        {"truncated XML", goodXML->substr(0, goodXML->size() / 2)},
        {"empty", ""},
        {"array at top level", *PropertyList::toXML(Object(Object::Array{Object(1)}))},
        // {"a<U+0000>b": "x"} with the key in UTF-16: once aborted every start.
        {"NUL inside a UTF-16 key", testsupport::nulKeyPropertyList()},
        {"lone surrogate in an XML key",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>&#xD800;</key><true/></dict></plist>"},
        {"date past 2069 in XML",
         "<plist version=\"1.0\"><dict><key>d</key><date>2100-01-01T00:00:00Z</date></dict></plist>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UserDefaults::resetForTesting();
        fs::remove_all(home_.path() / "config");
        testsupport::writeFile(standardFile(), c.bytes);
        errors_.clear();

        auto& defaults = UserDefaults::standard();
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
        EXPECT_FALSE(fs::exists(standardFile()));

        std::vector<fs::path> aside;
        for (auto& e : fs::directory_iterator(home_.path() / "config"))
            if (e.path().filename().string().starts_with("io.velmora.mac.plist.corrupt-"))
                aside.push_back(e.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(testsupport::readFile(aside[0]), c.bytes);
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_NE(errors()[0].find("moved it to " + aside[0].string()), std::string::npos) << errors()[0];

        // A later change writes a fresh file and leaves the damaged one alone.
        defaults.set("after", "ok");
        EXPECT_EQ(testsupport::readFile(aside[0]), c.bytes);
        UserDefaults::resetForTesting();
        EXPECT_EQ(UserDefaults::standard().string("after"), "ok");
    }
}

// config/ was open while another user left the settings there (or anyone could change them, or a
// link or a fifo stands in their place), then became private: the launch must neither take those
// values nor write over them.
TEST_F(UserDefaultsTest, SettingsThatAreNotTheUsersOwnAreNeitherReadNorReplaced) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants a file of another user
    const fs::path config = home_.path() / "config";
    const std::string planted = *PropertyList::toXML(Object(Object::Dict{{"KillSwitch", Object(false)}}));
    const auto ownWithMode = [&](mode_t mode) {
        return [&, mode] {
            testsupport::writeFile(standardFile(), planted);
            ::chmod(standardFile().c_str(), mode);
        };
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { testsupport::plantAsAnotherUser(standardFile(), planted, 0666); },
         " belongs to another user (uid 4242, this is uid 0)"},
        {[&] {
             ownWithMode(0620)();
             ASSERT_EQ(::lchown(standardFile().c_str(), -1, testsupport::kAnotherUser), 0);
         },
         " is a file that members of the group gid 4242 may write"},
        {ownWithMode(0602), " is a file that others may write"},
        {[&] {
             testsupport::writeFile(config / "elsewhere.plist", planted);
             fs::create_symlink("elsewhere.plist", standardFile());
         },
         " is a link"},
        // Opened as a file is, it would hold the launch until someone wrote to it.
        {[&] { ::mkfifo(standardFile().c_str(), 0600); }, " is not a plain file"},
    };
    for (const auto& [plant, why] : cases) {
        SCOPED_TRACE(why);
        UserDefaults::resetForTesting();
        fs::remove_all(config);
        fs::create_directory(config);
        plant();
        fs::permissions(config, fs::perms(0700));
        const std::string before = testsupport::fileFacts(standardFile());

        auto& defaults = UserDefaults::standard();
        EXPECT_EQ(defaults.refusal().value_or("not refused"),
                  standardFile().string() + why +
                      "; Velmora uses only plain files of its own user that no one else may write");
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
        defaults.set("KillSwitch", true);
        EXPECT_FALSE(defaults.synchronize());
        EXPECT_EQ(testsupport::fileFacts(standardFile()), before);
        UserDefaults::resetForTesting();
        EXPECT_TRUE(UserDefaults::standard().object("KillSwitch").isAbsent());
    }
}

// For an ordinary user another user's 0600 file cannot be opened, nor can a socket: the answer is
// still the launch check's refusal, nothing is written over it, and synchronize() says so. Another
// user's temporary file, left in config/ while it was open, is not swept away as a stale write.
TEST_F(UserDefaultsTest, FilesOfAnotherUserGetOneAnswerWhetherOrNotTheyOpen) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const fs::path config = home_.path() / "config";
    const fs::path theirTemporary = config / ".io.velmora.mac.plist.tmp-Ab12Cd";
    testsupport::forEachUnopenableFileOfAnotherUser(standardFile(), [&] {
        testsupport::plantAsAnotherUser(theirTemporary, "half", 0666);
        fs::permissions(config, fs::perms(0700));
        const std::string said = testsupport::asOrdinaryUser(home_.path(), [&] {
            const std::string before = testsupport::fileFacts(standardFile()) + testsupport::fileFacts(theirTemporary);
            UserDefaults::resetForTesting();
            auto& defaults = UserDefaults::standard();
            const std::string refusal = defaults.refusal().value_or("not refused");
            defaults.set("KillSwitch", true);
            const bool written = defaults.synchronize();
            const bool unchanged =
                testsupport::fileFacts(standardFile()) + testsupport::fileFacts(theirTemporary) == before;
            return std::string(refusal == paths::refusalOf(standardFile()).value_or("none") ? "same: " : "differs: ") +
                   refusal + (written ? "; written" : "; not written") + (unchanged ? "; unchanged" : "; changed");
        });
        EXPECT_EQ(said, "same: " + standardFile().string() + " belongs to another user (uid 4242, this is uid " +
                            std::to_string(testsupport::kOrdinaryUser) +
                            "); Velmora uses only plain files of its own user that no one else may write"
                            "; not written; unchanged");
    });
}

// The user's own settings, group-writable by the user's private group in folders an older version
// left open: harmless, so the launch goes on and makes the file private.
TEST_F(UserDefaultsTest, SettingsWritableOnlyByTheUsersPrivateGroupStartAndBecomePrivate) {
    testsupport::writeFile(standardFile(),
                           *PropertyList::toXML(Object(Object::Dict{{"KillSwitch", Object(true)}})));
    fs::permissions(standardFile(), fs::perms(0664));
    fs::permissions(standardFile().parent_path(), fs::perms(0755));
    passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    ASSERT_EQ(::chown(standardFile().c_str(), -1, me->pw_gid), 0);
    const group* own = ::getgrgid(me->pw_gid);
    ASSERT_TRUE(own != nullptr && own->gr_mem[0] == nullptr) << "the user's group has other members here";

    const auto refusal = paths::preparePrivateFolders();
    EXPECT_FALSE(refusal) << *refusal;
    EXPECT_EQ(testsupport::modeOf(standardFile()), 0600u);
    EXPECT_TRUE(UserDefaults::standard().boolean("KillSwitch"));
}

// A settings file far larger than any Velmora writes (sparse, so it costs no disk) is damaged: it is
// set aside without being read into memory, and the launch goes on with empty defaults.
TEST_F(UserDefaultsTest, ASettingsFileLargerThanAnyVelmoraWritesIsSetAsideUnread) {
    testsupport::writeFile(standardFile(), "");
    ASSERT_EQ(::truncate(standardFile().c_str(), off_t{1} << 30), 0);
    const std::string said = testsupport::inChild([&] {
        UserDefaults::resetForTesting();
        // A forked child's peak resident size starts at the parent's resident size at the fork (what
        // the tests before left behind, the sanitizer's quarantine among it): what counts is how far
        // loading the file raises it.
        const auto peakKiB = [] {
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            return usage.ru_maxrss;
        };
        const long before = peakKiB();
        auto& defaults = UserDefaults::standard();
        const bool empty = defaults.dictionaryRepresentation().empty();
        defaults.set("after", "ok");
        const long grown = peakKiB() - before;
        return std::string(empty ? "empty" : "values") + (defaults.synchronize() ? ", written" : ", not written") +
               (grown < 64 * 1024 ? ", small" : ", " + std::to_string(grown / 1024) + " MiB more");
    });
    EXPECT_EQ(said, "empty, written, small");
    size_t aside = 0;
    for (const auto& entry : fs::directory_iterator(standardFile().parent_path()))
        aside += entry.path().filename().string().starts_with("io.velmora.mac.plist.corrupt-");
    EXPECT_EQ(aside, 1u);
    UserDefaults::resetForTesting();
    EXPECT_EQ(UserDefaults::standard().string("after"), "ok");
}

TEST_F(UserDefaultsTest, UnstorableValuesAreRefusedAndChangeNothing) {
    auto& defaults = UserDefaults::standard();
    defaults.set("key", "original");
    int calls = 0;
    auto token = defaults.observe([&](const std::string&) { ++calls; });

    const Object refused[] = {
        Object(),
        Object::null(),
        Object(Opaque::make(std::make_shared<const int>(3), "int")),
        Object(Object::Array{Object(1), Object::null()}),
        Object(Object::Dict{{"deep", Object(Opaque::make(std::make_shared<const int>(4), "int"))}}),
        Object(std::string("nul\0inside", 10)),
        Object(Object::Dict{{std::string("k\0", 2), Object(1)}}),
        Object(uint64_t{18446744073709551615u}),
        Object(Date{-1.0e12}),
        // Malformed UTF-8 is refused wherever it sits, as NUL is: written, the file would not read back.
        Object("lone \xA2 byte"),
        Object(Object::Array{Object("ok"), Object(Object::Array{Object("\xED\xA0\x80")})}),
        Object(Object::Dict{{"outer", Object(Object::Dict{{"caf\xC3", Object(1)}})}}),
    };
    for (const Object& value : refused) {
        errors_.clear();
        defaults.set("key", value);
        EXPECT_EQ(defaults.object("key"), Object("original")) << value.debugDescription();
        EXPECT_EQ(errors().size(), 1u) << value.debugDescription();
    }
    EXPECT_EQ(calls, 0);
    UserDefaults::resetForTesting();
    EXPECT_EQ(UserDefaults::standard().object("key"), Object("original"));
}

TEST_F(UserDefaultsTest, KeysTheFileCannotCarryAreRefused) {
    auto& defaults = UserDefaults::standard();
    defaults.set("kept", 1);
    for (const std::string& key :
         {std::string("\xA2"), std::string("trailing \xC3"), std::string("a\0b", 3)}) {
        errors_.clear();
        defaults.set(key, Object("value"));
        EXPECT_TRUE(defaults.object(key).isAbsent());
        ASSERT_EQ(errors().size(), 1u);
        EXPECT_EQ(errors()[0].find('\0'), std::string::npos);
        EXPECT_TRUE(defaults.synchronize());
    }
    UserDefaults::resetForTesting();
    EXPECT_EQ(UserDefaults::standard().dictionaryRepresentation(), (Object::Dict{{"kept", Object(1)}}));
}

TEST_F(UserDefaultsTest, OpeningTheFolderRemovesLeftoversOfKilledWriters) {
    const fs::path config = home_.path() / "config";
    testsupport::writeFile(standardFile(), *PropertyList::toBinary(Object(Object::Dict{{"a", Object(1)}})));
    testsupport::plantTemporaryFile(config / ".io.velmora.mac.plist.tmp-Ab12Cd", "half a write", false);
    testsupport::plantTemporaryFile(config / ".other.suite.plist.tmp-x9Y8z7", "another", false);
    int live =
        testsupport::plantTemporaryFile(config / ".io.velmora.mac.plist.tmp-LiVe01", "in progress", true);

    EXPECT_EQ(UserDefaults::standard().integer("a"), 1);
    EXPECT_FALSE(fs::exists(config / ".io.velmora.mac.plist.tmp-Ab12Cd"));
    EXPECT_FALSE(fs::exists(config / ".other.suite.plist.tmp-x9Y8z7"));
    EXPECT_TRUE(fs::exists(config / ".io.velmora.mac.plist.tmp-LiVe01")) << "a live writer's file stays";
    ::close(live);
}

TEST_F(UserDefaultsTest, TypedReads) {
    auto defaults = UserDefaults::inMemory();
    struct Case {
        Object value;
        std::string string;
        bool boolean;
        int64_t integer;
        double number;
    };
    const Case cases[] = {
        {Object(true), "1", true, 1, 1.0},
        {Object(int64_t{-3}), "-3", true, -3, -3.0},
        {Object(2.75), "2.75", true, 2, 2.75},
        {Object("YES"), "YES", true, 0, 0.0},
        {Object("true"), "true", true, 0, 0.0},
        {Object("1"), "1", true, 1, 1.0},
        {Object(" 12.5 "), " 12.5 ", true, 12, 12.5},
        {Object("no"), "no", false, 0, 0.0},
        {Object("0"), "0", false, 0, 0.0},
        {Object(Data{1}), "", false, 0, 0.0},
        {Object(), "", false, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.debugDescription());
        if (c.value.isAbsent())
            defaults->remove("k");
        else
            defaults->set("k", c.value);
        EXPECT_EQ(defaults->string("k"), c.string);
        EXPECT_EQ(defaults->boolean("k"), c.boolean);
        EXPECT_EQ(defaults->integer("k"), c.integer);
        EXPECT_DOUBLE_EQ(defaults->doubleValue("k"), c.number);
    }
    EXPECT_FALSE(defaults->stringIfSet("k").has_value());
}

TEST_F(UserDefaultsTest, RegisteredDefaultsAnswerReadsButAreNotWritten) {
    auto& defaults = UserDefaults::standard();
    defaults.registerDefaults({{"count", Object(5)}, {"mode", Object("auto")}});
    EXPECT_EQ(defaults.integer("count"), 5);
    defaults.set("count", 9);
    EXPECT_EQ(defaults.integer("count"), 9);
    EXPECT_EQ(defaults.dictionaryRepresentation().at("mode"), Object("auto"));

    auto stored = PropertyList::fromBytes(testsupport::readFile(standardFile()));
    EXPECT_EQ(stored, Object(Object::Dict{{"count", Object(9)}}));

    defaults.remove("count");
    EXPECT_EQ(defaults.integer("count"), 5); // back to the registered value
}

TEST_F(UserDefaultsTest, ObserversSeeEachChangeUntilTheirTokenGoes) {
    auto& defaults = UserDefaults::standard();
    std::vector<std::string> seen;
    auto token = defaults.observe([&](const std::string& key) { seen.push_back(key); });
    defaults.set("a", 1);
    defaults.remove("a");
    defaults.remove("never-set"); // not a change
    token.reset();
    defaults.set("b", 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "a"}));
}

TEST_F(UserDefaultsTest, SuitesAndInMemoryStores) {
    auto suite = UserDefaults::suite("io.velmora.shared");
    EXPECT_EQ(suite, UserDefaults::suite("io.velmora.shared"));
    EXPECT_EQ(UserDefaults::suite("io.velmora.mac").get(), &UserDefaults::standard());
    suite->set("k", "suite");
    EXPECT_TRUE(fs::exists(home_.path() / "config" / "io.velmora.shared.plist"));
    EXPECT_TRUE(UserDefaults::standard().object("k").isAbsent());

    auto memory = UserDefaults::inMemory();
    memory->set("k", "memory");
    EXPECT_EQ(memory->string("k"), "memory");
    EXPECT_NE(memory, UserDefaults::inMemory());

    // A suite name that would leave the config folder keeps its values in memory only.
    for (const std::string name : {"../escape", "a/b", "..", ".hidden", ""}) {
        auto bad = UserDefaults::suite(name);
        bad->set("k", 1);
        EXPECT_EQ(bad->integer("k"), 1) << name;
    }
    EXPECT_FALSE(fs::exists(home_.path() / "escape.plist"));
    size_t files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(home_.path() / "config"))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(UserDefaultsTest, ConcurrentWritersAllLand) {
    auto& defaults = UserDefaults::standard();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                defaults.set("t" + std::to_string(t) + "-" + std::to_string(i), i);
        });
    for (auto& th : threads)
        th.join();
    UserDefaults::resetForTesting();
    EXPECT_EQ(UserDefaults::standard().dictionaryRepresentation().size(), 40u);
    EXPECT_EQ(UserDefaults::standard().integer("t3-9"), 9);
}
