// A child process for the crash tests: stores COUNT events of SIZE payload bytes into a flat-file
// storage rooted at ROOT, one after another, printing "ready" once the storage is open, "stored N"
// once N events are written and "done" when all are stored. The parent kills it at a random moment
// in between, chosen by the progress it has seen.
#include "transport/TTRFlatFileStorage.h"

#include "tests/transport/BytesObject.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ROOT COUNT SIZE\n", argv[0]);
        return 2;
    }
    TTRFlatFileStorage::Configuration configuration;
    configuration.rootDirectory = argv[1];
    auto storage = TTRFlatFileStorage::makeStorage(std::move(configuration));
    const long count = std::atol(argv[2]);
    const size_t size = static_cast<size_t>(std::atol(argv[3]));
    std::printf("ready\n");
    std::fflush(stdout);
    for (long i = 0; i < count; ++i) {
        auto event = TTREvent::initWithMappingID("2102", 1001);
        plat::Data bytes(size, static_cast<uint8_t>('a' + i % 26));
        event->setDataObject(std::make_shared<transporttest::BytesObject>(std::move(bytes)));
        std::promise<bool> stored;
        storage->storeEvent(
            event, [&stored](bool written, const std::optional<plat::Error>&) { stored.set_value(written); });
        if (!stored.get_future().get()) return 1;
        std::printf("stored %ld\n", i + 1);
        std::fflush(stdout);
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
