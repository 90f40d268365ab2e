#include "tests/utilities/NetworkTestFixture.h"

#include "utilities/TULMutableDictionary.h"
#include "utilities/TULNetwork.h"
#include "utilities/TULNetworkURLSession.h"

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Paths.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <thread>

namespace {

using namespace plat;

// Records what reaches a logger delegate, one "<level> <code> <message> [contexts]" line per call.
class RecordingLogger : public TULNetworkLoggerDelegate {
public:
    void TULNetwork_logWithLevel(int64_t level, int64_t code, const std::optional<std::string>& message,
                                 const std::vector<Object>& contexts) override {
        std::string line =
            std::to_string(level) + " " + std::to_string(code) + " " + message.value_or("<nil>");
        for (const Object& context : contexts)
            line += " [" + (context.isString() ? context.string() : context.debugDescription()) + "]";
        add(line);
    }
    void TULNetwork_logWithLevel(int64_t level, int64_t code, const std::optional<std::string>& message,
                                 const Object& context) override {
        add("one-context " + std::to_string(level) + " " + std::to_string(code) + " " +
            message.value_or("<nil>") + " [" + context.debugDescription() + "]");
    }
    void TULNetwork_logWithLevel(int64_t level, int64_t code,
                                 const std::optional<std::string>& message) override {
        add("no-context " + std::to_string(level) + " " + std::to_string(code) + " " +
            message.value_or("<nil>"));
    }
    std::vector<std::string> lines() {
        std::lock_guard guard(mutex_);
        return lines_;
    }
    bool has(const std::string& code) {
        for (const auto& line : lines())
            if (line.find(" " + code + " ") != std::string::npos) return true;
        return false;
    }

private:
    void add(std::string line) {
        std::lock_guard guard(mutex_);
        lines_.push_back(std::move(line));
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class TULNetworkURLSessionTest : public utiltest::NetworkTest {
protected:
    std::filesystem::path temporaryFolder() const {
        return paths::applicationSupportDir() / "TUL/Network/TULNetworkTemporaryDirectory";
    }
    // Posts through a layer whose temporary files age by the test's clock; true when it was answered.
    bool postOnce(const std::shared_ptr<TULNetwork>& network, bool background, int expectedStatus = 200) {
        bool done = false;
        int status = 0;
        network->postURL(standinURL("/echo/form"), toData("k=v"), std::nullopt, background,
                         [&](auto response, auto, auto) {
                             status = response ? response->statusCode : -1;
                             done = true;
                         });
        bool answered = pumpUntil([&] { return done; });
        EXPECT_EQ(status, expectedStatus);
        return answered;
    }
    std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
};

TEST_F(TULNetworkURLSessionTest, SweepRemovesFilesOlderThanAnHourAtEachPost) {
    auto network = TULNetwork::initWithReachabilityHost("h", clock);
    ASSERT_TRUE(network);
    ASSERT_TRUE(FileManager::createDirectory(temporaryFolder(), true));
    std::filesystem::path old = temporaryFolder() / "TULUpload_temp_leftover";
    testsupport::writeFile(old, "spooled body of an earlier launch");
    std::optional<Date> created = FileManager::creationDate(old);
    ASSERT_TRUE(created);

    clock.setWallNow(Date{created->secondsSince1970 + 3599});
    ASSERT_TRUE(postOnce(network, false));
    EXPECT_TRUE(std::filesystem::exists(old)) << "kept at 3599 s";

    clock.setWallNow(Date{created->secondsSince1970 + 3601});
    ASSERT_TRUE(postOnce(network, false));
    EXPECT_FALSE(std::filesystem::exists(old)) << "removed at 3601 s";

    // Dates more than an hour ahead of the clock count as expired too; folders are removed whole.
    auto session = TULNetworkURLSession::initWithNetworkLoggerDelegate(logger, clock);
    std::filesystem::path ahead = temporaryFolder() / "from-the-future";
    std::filesystem::path folder = temporaryFolder() / "a-folder";
    testsupport::writeFile(ahead, "x");
    testsupport::writeFile(folder / "inside", "x");
    created = FileManager::creationDate(ahead);
    clock.setWallNow(Date{created->secondsSince1970 - 3601});
    session->maybeRemoveTempFilesAtURL(temporaryFolder(), 3600);
    EXPECT_FALSE(std::filesystem::exists(ahead));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(logger->lines().empty());
}

TEST_F(TULNetworkURLSessionTest, UnreadableTemporaryFolderIsAnErrorAndTheUploadGoesFromMemory) {
    auto network = TULNetwork::initWithReachabilityHost("h", clock);
    network->setDebugModeEnabled(true);
    // The temporary folder's place is taken by a file: it can be reached but not listed or written.
    testsupport::writeFile(temporaryFolder(), "not a folder");
    ASSERT_TRUE(postOnce(network, true));
    EXPECT_EQ(log.withCode("I-NET901000").size(), 1u);
    EXPECT_EQ(log.withCode("I-NET901012").size(), 2u) << "the sweeps before and after the transfer";
    ASSERT_EQ(standin.requests().size(), 1u);

    // Its parent is a file: the folder cannot be reached or created.
    std::filesystem::remove(temporaryFolder());
    std::filesystem::remove_all(temporaryFolder().parent_path());
    testsupport::writeFile(temporaryFolder().parent_path(), "not a folder either");
    log.clear();
    ASSERT_TRUE(postOnce(network, true));
    EXPECT_EQ(log.withCode("I-NET901014").size(), 1u);
    auto creation = log.withCode("I-NET901015");
    ASSERT_EQ(creation.size(), 1u);
    EXPECT_NE(
        creation[0].find("<Tessera/Utilities/Network/ERROR> Cannot create temporary directory. Error: Error "
                         "Domain=NSCocoaErrorDomain Code=512"),
        std::string::npos)
        << creation[0];
    EXPECT_TRUE(log.withCode("I-NET901000").empty());
    EXPECT_EQ(standin.requests().size(), 2u);
}

TEST_F(TULNetworkURLSessionTest, LayerLoggerFiltersAndFormats) {
    auto network = TULNetwork::initWithReachabilityHost("h", clock);
    log.clear();
    network->TULNetwork_logWithLevel(3, 901234, std::string("plain error"));
    network->TULNetwork_logWithLevel(4, 901234, std::nullopt, Object("ctx"));
    network->TULNetwork_logWithLevel(5, 901234, std::string("dropped notice"));
    network->TULNetwork_logWithLevel(6, 901234, std::string(""),
                                     std::vector<Object>{Object(7), Object::null()});
    network->TULNetwork_logWithLevel(7, 901234, std::string("dropped debug"), Object());
    std::vector<std::string> expected{
        "<Tessera/Utilities/Network/ERROR> plain error",
        "<Tessera/Utilities/Network/WARNING> (Message was nil): ctx",
        "<Tessera/Utilities/Network/INFO> (Message was empty): 7, (nil)",
    };
    EXPECT_EQ(consoleLines(), expected);
    auto lines = log.withCode("I-NET901234");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("[TULNetwork] "), std::string::npos);
    EXPECT_NE(lines[2].find("[I-NET901234] <Tessera/Utilities/Network/INFO> (Message was empty): 7, (nil)"),
              std::string::npos);

    network->setDebugModeEnabled(true);
    network->TULNetwork_logWithLevel(7, 5, std::string("shown debug"), Object());
    EXPECT_EQ(consoleLines().back(), "<Tessera/Utilities/Network/DEBUG> shown debug");

    // With a delegate every form goes to its matching method and nothing is written here.
    network->setLoggerDelegate(logger);
    size_t written = consoleLines().size();
    network->TULNetwork_logWithLevel(3, 1, std::string("a"), std::vector<Object>{Object("x")});
    network->TULNetwork_logWithLevel(3, 2, std::string("b"), Object("y"));
    network->TULNetwork_logWithLevel(7, 3, std::string("c"));
    EXPECT_EQ(logger->lines(),
              (std::vector<std::string>{"3 1 a [x]", "one-context 3 2 b [\"y\"]", "no-context 7 3 c"}));
    EXPECT_EQ(consoleLines().size(), written);

    // A null delegate is refused and the previous one stays.
    network->setLoggerDelegate(nullptr);
    EXPECT_EQ(network->loggerDelegate(), logger);
    auto refused = log.withCode("I-NET900002");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(
        refused[0].find("Cannot set the network logger delegate: delegate does not conform to the network "
                        "logger protocol."),
        std::string::npos);
}

TEST_F(TULNetworkURLSessionTest, SystemCompletionRegistryAndFetcherMap) {
    auto session = TULNetworkURLSession::initWithNetworkLoggerDelegate(logger, clock);
    EXPECT_EQ(session->sessionID().rfind("com.tul.network.background-upload-", 0), 0u);
    EXPECT_EQ(session->temporaryFilePathWithSessionID("S").filename(), "TULUpload_temp_S");

    session->addSystemCompletionHandler(nullptr, "id");
    EXPECT_TRUE(logger->has("901009"));
    session->addSystemCompletionHandler([] {}, "");
    EXPECT_TRUE(logger->has("901010"));

    const std::string id = "com.tul.network.background-upload-relaunched";
    std::vector<std::string> calls;
    session->addSystemCompletionHandler([&] { calls.push_back("first"); }, id);
    EXPECT_FALSE(logger->has("901011"));
    session->addSystemCompletionHandler([&] { calls.push_back("second"); }, id);
    EXPECT_TRUE(logger->has("901011"));
    session->callSystemCompletionHandler(id);
    session->callSystemCompletionHandler(id);
    EXPECT_TRUE(calls.empty()) << "called on the main queue, not at once";
    RunLoop::main().drain();
    EXPECT_EQ(calls, std::vector<std::string>{"second"});

    // After a relaunch the system's block is kept for a session of the layer, and only for one.
    TULNetwork::handleEventsForBackgroundURLSessionID("com.other.session", [&] { calls.push_back("other"); });
    TULNetwork::handleEventsForBackgroundURLSessionID(id, [&] { calls.push_back("relaunch"); });
    session->callSystemCompletionHandler("com.other.session");
    session->callSystemCompletionHandler(id);
    RunLoop::main().drain();
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "relaunch"}));

    EXPECT_EQ(TULNetworkURLSession::fetcherWithSessionIdentifier("com.other.session"), nullptr);
    auto recreated = TULNetworkURLSession::fetcherWithSessionIdentifier(id);
    ASSERT_TRUE(recreated);
    EXPECT_EQ(recreated->sessionID(), id);
    EXPECT_EQ(TULNetworkURLSession::sessionFromFetcherMapForSessionID(id), recreated);
    // A second object under the same ID discards the first, which says so to its own logger.
    auto replacement = TULNetworkURLSession::initWithNetworkLoggerDelegate(logger, clock);
    auto firstLogger = std::make_shared<RecordingLogger>();
    auto first = TULNetworkURLSession::initWithNetworkLoggerDelegate(firstLogger, clock);
    TULNetworkURLSession::setSessionInFetcherMap(first, "shared-id");
    TULNetworkURLSession::setSessionInFetcherMap(replacement, "shared-id");
    auto discarded = firstLogger->lines();
    ASSERT_EQ(discarded.size(), 1u);
    EXPECT_EQ(discarded[0].rfind("6 901019 Discarding session: <TULNetworkURLSession: 0x", 0), 0u)
        << discarded[0];
    EXPECT_EQ(TULNetworkURLSession::sessionFromFetcherMapForSessionID("shared-id"), replacement);
    // The map holds its objects weakly.
    replacement.reset();
    EXPECT_EQ(TULNetworkURLSession::sessionFromFetcherMapForSessionID("shared-id"), nullptr);
    TULNetworkURLSession::setSessionInFetcherMap(nullptr, id);
    EXPECT_EQ(TULNetworkURLSession::sessionFromFetcherMapForSessionID(id), nullptr);
}

// A self-signed certificate for `host`, as DER, with its PEM form written to `pemFile`.
Data selfSignedCertificate(const std::string& host, const std::filesystem::path& pemFile) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());
    unsigned char* der = nullptr;
    int length = i2d_X509(certificate, &der);
    Data bytes(der, der + length);
    OPENSSL_free(der);
    FILE* out = std::fopen(pemFile.c_str(), "w");
    PEM_write_X509(out, certificate);
    std::fclose(out);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return bytes;
}

TEST_F(TULNetworkURLSessionTest, ServerTrustChallenges) {
    auto session = TULNetworkURLSession::initWithNetworkLoggerDelegate(logger, clock);
    auto urlSession = URLSession::sessionWithConfiguration({}, nullptr, std::nullopt);
    auto task = urlSession->dataTaskWithRequest(URLRequest("https://secure.velmora.example/"));
    struct Answer {
        URLSessionAuthChallengeDisposition disposition;
        std::optional<URLCredential> credential;
    };
    auto answer = [&](URLAuthenticationChallenge challenge) {
        DispatchSemaphore done;
        Answer result{};
        session->URLSession(*urlSession, *task, challenge, [&](auto disposition, auto credential) {
            result = Answer{disposition, std::move(credential)};
            done.signal();
        });
        EXPECT_TRUE(done.wait(std::chrono::seconds(10)));
        return result;
    };
    using D = URLSessionAuthChallengeDisposition;
    URLAuthenticationChallenge basic;
    basic.protectionSpace.authenticationMethod = NSURLAuthenticationMethodDefault;
    EXPECT_EQ(answer(basic).disposition, D::PerformDefaultHandling);
    EXPECT_TRUE(logger->lines().empty());

    URLAuthenticationChallenge trustless;
    trustless.protectionSpace.authenticationMethod = NSURLAuthenticationMethodServerTrust;
    EXPECT_EQ(answer(trustless).disposition, D::PerformDefaultHandling);
    EXPECT_TRUE(logger->has("901004"));

    std::filesystem::path pem = home.path() / "anchor.pem";
    Data certificate = selfSignedCertificate("secure.velmora.example", pem);
    URLAuthenticationChallenge untrusted = trustless;
    untrusted.protectionSpace.serverTrust =
        SecTrust::createWithCertificates({certificate}, "secure.velmora.example");
    Answer refused = answer(untrusted);
    EXPECT_EQ(refused.disposition, D::CancelAuthenticationChallenge);
    EXPECT_FALSE(refused.credential);
    EXPECT_TRUE(logger->has("901006"));
    EXPECT_TRUE(logger->has("901008"));
    EXPECT_TRUE(logger->has("901007"));

    // Trusted once the certificate is an anchor, and only for the host it names.
    auto anchored = SecTrust::createWithCertificates({certificate}, "secure.velmora.example");
    anchored->setAnchorCertificatesFile(pem.string());
    URLAuthenticationChallenge trusted = trustless;
    trusted.protectionSpace.serverTrust = anchored;
    Answer accepted = answer(trusted);
    EXPECT_EQ(accepted.disposition, D::UseCredential);
    ASSERT_TRUE(accepted.credential);
    EXPECT_EQ(accepted.credential->trust, anchored);
    auto otherHost = SecTrust::createWithCertificates({certificate}, "other.velmora.example");
    otherHost->setAnchorCertificatesFile(pem.string());
    trusted.protectionSpace.serverTrust = otherHost;
    EXPECT_EQ(answer(trusted).disposition, D::CancelAuthenticationChallenge);
    // Bytes that are no certificate are an evaluation error.
    std::optional<Error> error;
    EXPECT_FALSE(SecTrustEvaluateWithError(*SecTrust::createWithCertificates({toData("junk")}, "h"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, errSecParam);
}

TEST(TULMutableDictionary, ReadsSeeEarlierWritesAndWritesFromManyThreadsAllLand) {
    TULMutableDictionary<std::string> dictionary;
    dictionary.setObject("one", "a");
    EXPECT_EQ(dictionary.objectForKey("a"), "one");
    EXPECT_EQ(dictionary["missing"], std::nullopt);
    dictionary.setObject("two", "b");
    EXPECT_EQ(dictionary.description(), "{ a = one; b = two; }");
    dictionary.removeObjectForKey("a");
    EXPECT_EQ(dictionary.count(), 1u);
    dictionary.removeAllObjects();
    EXPECT_EQ(dictionary.description(), "{}");

    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i)
                dictionary.setObject("v", std::to_string(t) + "-" + std::to_string(i));
        });
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(dictionary.count(), 800u);
    EXPECT_EQ(dictionary.dictionary().begin()->first, "0-0");
}

} // namespace
