// A child process for the exit tests: it starts background work and returns from main while that
// work runs, as the application does when the user quits; it exits with 0 unless the exit broke.
//   transport_exit_child pass ROOT MILLIS     the upload coordinator over the flat-file storage at
//       ROOT, its timer a hundred thousand times faster than the application's (a pass every
//       0.3 ms), for MILLIS milliseconds; the uploads go to $VELMORA_TESSERA_BASE.
//   transport_exit_child request URL MICROS   a first request to URL on a worker thread, with the
//       cryptography library already in use on the main thread; main returns MICROS microseconds
//       after the request started.
#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRUploadCoordinator.h"
#include "transport/TTWUploader.h"

#include "platform/net/SCNetworkReachability.h"
#include "platform/net/URLSession.h"
#include "platform/security/Digest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// The real-time scheduler with every delay shortened by kSpeedUp.
class FastScheduler final : public plat::Scheduler {
public:
    static constexpr int kSpeedUp = 100000;
    const plat::Clock& clock() const override { return system().clock(); }
    Token schedule(plat::TimePoint deadline, plat::Block fire) override {
        const plat::TimePoint now = clock().now();
        return system().schedule(deadline > now ? now + (deadline - now) / kSpeedUp : deadline,
                                 std::move(fire));
    }
    bool cancel(Token token) override { return system().cancel(token); }
};

int runPasses(const char* root, int millis) {
    // Kept, like the application's own transport, until the process is gone.
    struct Transport {
        std::shared_ptr<TTRFlatFileStorage> storage;
        std::shared_ptr<TTRRegistrar> registrar = TTRRegistrar::makeRegistrar();
        std::shared_ptr<TTWUploader> uploader = TTWUploader::makeUploader(registrar);
        FastScheduler scheduler;
        std::shared_ptr<TTRUploadCoordinator> coordinator;
    };
    auto* transport = new Transport;
    TTRFlatFileStorage::Configuration storageConfiguration;
    storageConfiguration.rootDirectory = root;
    transport->storage = TTRFlatFileStorage::makeStorage(std::move(storageConfiguration));
    for (int64_t target = 1000; target <= 1003; ++target) {
        transport->registrar->registerUploader(transport->uploader, target);
        transport->registrar->registerStorage(transport->storage, target);
    }
    TTRUploadCoordinator::Configuration configuration;
    configuration.registrar = transport->registrar;
    configuration.scheduler = &transport->scheduler;
    configuration.reachabilityFlags = [] { return plat::kSCNetworkReachabilityFlagsReachable; };
    transport->coordinator = TTRUploadCoordinator::makeCoordinator(std::move(configuration));
    transport->coordinator->startTimer();
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    return 0;
}

int firstRequest(const char* url, int micros) {
    std::printf("%02x\n", plat::sha256(std::string_view(url))[0]);
    plat::URLSession::shared().dataTask(plat::URLRequest(url), [](auto&&...) {})->resume();
    // A sleep this short would overshoot; the worker sets the library up within this window.
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
    while (std::chrono::steady_clock::now() < end) {
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "pass") == 0) return runPasses(argv[2], std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "request") == 0) return firstRequest(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: %s pass ROOT MILLIS | request URL MICROS\n", argv[0]);
    return 2;
}
