// Real crashes of crash-demo, symbolicated the way the next launch does it (crash-demo's symbolicate
// mode runs the same program, so the same images are loaded), checked frame by frame against the
// system symbolizer on the same addresses of the same files.
#include "crash/record/CRWContext.h"
#include "crash/report/CRWRecordFileReader.h"
#include "crash/report/CRWSymbolResolver.h"
#include "platform/foundation/JSONSerialization.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/crash/report/ReportTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Image {
    uint64_t base = 0, size = 0;
    std::string path, uuid;
};

class CrashDemoSymbolication : public reporttest::ReportTest {
protected:
    // Crashes crash-demo in `mode`, then symbolicates its folder; the symbolicate run's output.
    std::string crashAndSymbolicate(const std::string& mode) {
        folder_ = home_->path() / "reports" / mode;
        const capturetest::DemoRun crash = capturetest::runDemo({mode, folder_.string(), "--threads", "2"});
        EXPECT_NE(crash.termSignal, 0) << crash.output;
        const capturetest::DemoRun symbolicate = capturetest::runDemo({"symbolicate", folder_.string()});
        EXPECT_EQ(symbolicate.exitStatus, 0) << symbolicate.output;
        return symbolicate.output;
    }

    std::vector<Image> images() const {
        std::vector<Image> list;
        for (const plat::Object& section :
             CRWReadRecordFile((folder_ / CRWReportBinaryImageFile).string()).sections) {
            const plat::Object& load = section["load"];
            if (load.isAbsent()) continue;
            list.push_back({load["base"].number().uint64Value(), load["size"].number().uint64Value(),
                            load["path"].string(), load["uuid"].string()});
        }
        return list;
    }

    // What the system symbolizer says about file addresses of `path`: the linkage name ("" when it
    // knows none) and the start of the function holding each address. That function is the last
    // of the inlining chain: the code the address lies in, as a symbol table knows it.
    struct Answer {
        std::string name;
        uint64_t start = 0;
    };
    static std::vector<Answer> symbolizer(const std::string& path, const std::vector<uint64_t>& addresses) {
        std::ostringstream command;
        command << "llvm-symbolizer-14 --output-style=JSON --inlines --no-demangle --obj='" << path << "'";
        for (uint64_t address : addresses)
            command << " 0x" << std::hex << address;
        const plat::Object json = plat::JSONSerialization::jsonObject(testsupport::runCommand(command.str()));
        std::vector<Answer> answers;
        for (const plat::Object& entry : json.array()) {
            const plat::Object::Array& chain = entry["Symbol"].array();
            const plat::Object symbol = chain.empty() ? plat::Object() : chain.back();
            const std::string start = symbol["StartAddress"].string();
            answers.push_back(
                {symbol["FunctionName"].string(), start.empty() ? 0 : std::stoull(start, nullptr, 16)});
        }
        return answers;
    }

    // Compares every frame of `crashFile` with the system symbolizer; answers how many frames had a
    // name on both sides.
    // A complete and a base object constructor or destructor are often one function with two
    // names; which of them a symbolizer gives for its address is its own choice.
    static std::string sameObjectVariant(std::string name) {
        for (const char* variant : {"C2E", "D2E"}) {
            const size_t at = name.rfind(variant);
            if (at != std::string::npos) name[at + 1] = '1';
        }
        return name;
    }

    size_t compareWithSymbolizer(const char* crashFile) {
        const CRWRecordFileContents crash = CRWReadRecordFile((folder_ / crashFile).string());
        const CRWRecordFileContents copy =
            CRWReadRecordFile((folder_ / (std::string(crashFile) + ".symbolicated")).string());
        const plat::Object& threads = CRWRecordSectionNamed(crash.sections, "threads");
        const plat::Object& symbolicated = CRWRecordSectionNamed(copy.sections, "threads");
        EXPECT_EQ(threads.array().size(), symbolicated.array().size());
        std::vector<Image> list = images();
        std::sort(list.begin(), list.end(), [](const Image& a, const Image& b) { return a.base < b.base; });

        // Per image file: the addresses asked about and the frames they came from.
        struct Question {
            std::vector<uint64_t> addresses;
            std::vector<plat::Object> frames;
            std::vector<bool> returnAddress;
        };
        std::map<std::string, Question> questions;
        for (size_t t = 0; t < threads.array().size() && t < symbolicated.array().size(); ++t) {
            const plat::Object::Array& addresses = threads.array()[t]["stacktrace"].array();
            const plat::Object::Array& frames = symbolicated.array()[t].array();
            EXPECT_EQ(addresses.size(), frames.size());
            // The first frame, and the one a signal interrupted, are exact; the rest return addresses.
            bool exact = true;
            for (size_t f = 0; f < addresses.size() && f < frames.size(); ++f) {
                const uint64_t address = addresses[f].number().uint64Value();
                const bool returnAddress = !exact;
                exact = frames[f]["symbol"] == plat::Object(CRWSymbolResolver::kSignalTrampolineName);
                // The C library's signal return has no name of its own to compare with.
                if (exact) continue;
                const auto image = std::find_if(list.begin(), list.end(), [&](const Image& i) {
                    return address >= i.base && address - i.base < i.size;
                });
                // The vDSO has no file to ask about.
                if (image == list.end() || !fs::is_regular_file(image->path)) continue;
                // A return address belongs to the call before it: the symbolizer is asked one byte back.
                questions[image->path].addresses.push_back(address - image->base - (returnAddress ? 1 : 0));
                questions[image->path].frames.push_back(frames[f]);
                questions[image->path].returnAddress.push_back(returnAddress);
            }
        }
        size_t named = 0;
        for (const auto& [path, question] : questions) {
            // Also asked: each return address itself, to tell one at the very start of a function.
            std::vector<uint64_t> asked = question.addresses;
            for (size_t i = 0; i < question.addresses.size(); ++i)
                asked.push_back(question.addresses[i] + (question.returnAddress[i] ? 1 : 0));
            std::vector<Answer> answers = symbolizer(path, asked);
            EXPECT_EQ(answers.size(), asked.size()) << path;
            if (answers.size() != asked.size()) continue;
            const std::vector<Answer> itself(answers.begin() + static_cast<long>(question.addresses.size()),
                                             answers.end());
            answers.resize(question.addresses.size());
            // The program's own images carry one name per function; system libraries may give a
            // function several (weak aliases, names from separate debug information), so there the
            // function itself must match: the same start.
            const bool program = path.find("crash-demo") != std::string::npos ||
                                 path.find("crash_demo_library") != std::string::npos;
            for (size_t i = 0; i < answers.size(); ++i) {
                const plat::Object& frame = question.frames[i];
                const plat::Object& raw =
                    frame["raw_symbol"].isAbsent() ? frame["symbol"] : frame["raw_symbol"];
                const std::string name = raw.isString() ? raw.string() : "";
                // Our start is the address used less the offset; the address used is the frame's own,
                // or 2 lower for a return address at the very start of a function, and only there
                // (a return address at the end of a function that closes with its call is that
                // function's, at the offset of its size).
                const uint64_t address = question.addresses[i] + (question.returnAddress[i] ? 1 : 0);
                const uint64_t offset = frame["offset"].number().uint64Value();
                const bool atStart =
                    question.returnAddress[i] && !itself[i].name.empty() && itself[i].start == address;
                if (program || name.empty() || answers[i].name.empty()) {
                    EXPECT_EQ(sameObjectVariant(name), sameObjectVariant(answers[i].name))
                        << path << " +0x" << std::hex << address;
                }
                if (!name.empty() && !answers[i].name.empty()) {
                    EXPECT_EQ(answers[i].start, address - (atStart ? 2 : 0) - offset)
                        << path << " +0x" << std::hex << address << " " << name << " / " << answers[i].name;
                }
                EXPECT_EQ(frame["library"].string(), fs::path(path).filename().string());
                if (!name.empty()) ++named;
            }
        }
        return named;
    }

    fs::path folder_;
};

TEST_F(CrashDemoSymbolication, ASegfaultMatchesTheSystemSymbolizer) {
    EXPECT_EQ(crashAndSymbolicate("segv"), "symbolicated signal.crwrecord\n");
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 5u);
    const std::string text = testsupport::readFile(folder_ / "signal.crwrecord.symbolicated");
    EXPECT_NE(text.find("{\"symbol\":\"crashDemoSegfault\""), std::string::npos) << text;
    EXPECT_NE(text.find("{\"symbol\":\"main\""), std::string::npos);
}

TEST_F(CrashDemoSymbolication, AnAbortAndAnUncaughtExceptionMatchTheSystemSymbolizer) {
    crashAndSymbolicate("abort");
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 5u);
    EXPECT_NE(testsupport::readFile(folder_ / "signal.crwrecord.symbolicated").find("\"crashDemoAbort\""),
              std::string::npos);

    EXPECT_EQ(crashAndSymbolicate("exception"),
              "symbolicated exception.crwrecord\nsymbolicated signal.crwrecord\n");
    EXPECT_GE(compareWithSymbolizer(CRWReportExceptionFile), 5u);
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 5u);
}

TEST_F(CrashDemoSymbolication, ACrashInALoadedLibraryAndOnAWorkerMatchTheSystemSymbolizer) {
    crashAndSymbolicate("dlopen");
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 5u);
    EXPECT_NE(testsupport::readFile(folder_ / "signal.crwrecord.symbolicated")
                  .find("{\"symbol\":\"crashDemoLibraryCrash\",\"offset\":"),
              std::string::npos);

    crashAndSymbolicate("worker");
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 10u);
}

// A fault on a function's very first instruction: the byte before it belongs to another function,
// under that function's unwind rules, so the first frame is walked and named at its own pc, and
// the thread keeps its whole stack, down through the C library to the thread's start. The C
// library's own frames there have names only where its separate debug symbols are installed.
// Another thread waits inside a signal handler: the signal return between the handler and the
// interrupted code is named as such, and the walk goes on below.
TEST_F(CrashDemoSymbolication, AFaultOnAFunctionsFirstInstructionKeepsTheWholeStack) {
    crashAndSymbolicate("entry-fault");
    EXPECT_GE(compareWithSymbolizer(CRWReportSignalFile), 10u);
    // Each thread's names, innermost first ("<top> name name ... "), and its frames' libraries.
    std::vector<std::string> stacks;
    std::vector<std::vector<std::string>> libraries;
    const CRWRecordFileContents copy =
        CRWReadRecordFile((folder_ / (std::string(CRWReportSignalFile) + ".symbolicated")).string());
    for (const plat::Object& thread : CRWRecordSectionNamed(copy.sections, "threads").array()) {
        std::string stack = "<top> ";
        libraries.emplace_back();
        for (const plat::Object& frame : thread.array()) {
            stack += (frame["symbol"].isString() ? frame["symbol"].string() : "?") + " ";
            libraries.back().push_back(frame["library"].isString() ? frame["library"].string() : "?");
        }
        stacks.push_back(stack);
    }
    auto anyStackHas = [&](const std::string& first, const std::string& later) {
        return std::any_of(stacks.begin(), stacks.end(), [&](const std::string& stack) {
            const size_t at = stack.find(first);
            return at != std::string::npos && stack.find(later, at) != std::string::npos;
        });
    };
    const std::string crashed = "<top> crashDemoLibraryFaultAtEntry crashDemoCallFromThread ";
    const auto thread = std::find_if(stacks.begin(), stacks.end(),
                                     [&](const std::string& stack) { return stack.rfind(crashed, 0) == 0; });
    ASSERT_NE(thread, stacks.end()) << ::testing::PrintToString(stacks);
    // Below the thread's function: the standard library's thread start, then the C library's, to
    // the outermost frame, where the C library made the thread.
    const std::vector<std::string>& below = libraries[static_cast<size_t>(thread - stacks.begin())];
    const auto inLibc = [](const std::string& library) { return library.rfind("libc.so", 0) == 0; };
    ASSERT_GT(below.size(), 3u) << *thread;
    EXPECT_GE(std::count_if(below.begin() + 2, below.end(), inLibc), 2) << *thread;
    EXPECT_TRUE(inLibc(below.back())) << *thread << "\n" << ::testing::PrintToString(below);
    // Its name, where the C library's debug symbols are there to give one.
    const std::vector<Image> loaded = images();
    const auto libc = std::find_if(loaded.begin(), loaded.end(), [&](const Image& image) {
        return inLibc(fs::path(image.path).filename().string());
    });
    ASSERT_NE(libc, loaded.end());
    ASSERT_GT(libc->uuid.size(), 2u) << libc->path;
    const fs::path debugFile =
        "/usr/lib/debug/.build-id/" + libc->uuid.substr(0, 2) + "/" + libc->uuid.substr(2) + ".debug";
    if (fs::exists(debugFile)) {
        EXPECT_TRUE(anyStackHas(crashed, " start_thread ")) << *thread;
    }
    EXPECT_TRUE(
        anyStackHas(std::string(" crashDemoInHandler ") + CRWSymbolResolver::kSignalTrampolineName + " ",
                    " crashDemoSignalMyself "));
}

} // namespace
