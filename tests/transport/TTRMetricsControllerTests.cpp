// The client-metrics counts: how drops are counted and merged, and how the stored window moves when
// an upload takes the counts out and when a failed one gives them back.
#include "TransportTestSupport.h"

#include "transport/TTRMetricsController.h"

#include "../support/TestSupport.h"
#include "promises/TPRPromiseFunctions.h"

using namespace transporttest;

namespace {

class Metrics : public ::testing::Test {
protected:
    // The stored metadata, read as the controller reads it (none when missing or unreadable).
    std::shared_ptr<const TTRMetricsMetadata> stored() {
        std::shared_ptr<const TTRMetricsMetadata> result;
        TPRPromiseAwait(storage.storage->fetchAndUpdateMetricsWithHandler(
            plat::SecureCodingClass::of<TTRMetricsMetadata>(),
            [&result](const std::shared_ptr<plat::SecureCoding>& value,
                      const std::optional<plat::Error>&) -> std::shared_ptr<const plat::SecureCoding> {
                result = std::dynamic_pointer_cast<const TTRMetricsMetadata>(value);
                return nullptr;
            }));
        return result;
    }

    std::shared_ptr<const TTRMetrics> take(std::optional<plat::Error>* error = nullptr) {
        return TTRMetrics::fromObject(TPRPromiseAwait(controller->getAndResetMetrics(), error));
    }

    testsupport::TempHome home;
    StorageFixture storage{home.path()};
    plat::ManualClock clock{plat::Date{1'700'000'000.0}};
    std::shared_ptr<TTRMetricsController> controller =
        TTRMetricsController::initWithStorage(storage.storage, clock);
};

} // namespace

TEST(LogSourceMetrics, EventsAreCountedPerSourceAndReasonAndMergingAddsCounts) {
    TTREvents expired{makeEvent("2101", 1001), makeEvent("2101", 1001), makeEvent("2101", 1001),
                      makeEvent("2102", 1001)};
    auto counts = TTRLogSourceMetrics::metricsWithEvents(expired, 1);
    EXPECT_EQ(counts->droppedEventCounterByLogSource(),
              (TTRLogSourceMetrics::Counts{{"2101", {{1, 3}}}, {"2102", {{1, 1}}}}));

    TTRLogSourceMetrics first(TTRLogSourceMetrics::Counts{{"2101", {{1, 3}}}});
    TTRLogSourceMetrics second(TTRLogSourceMetrics::Counts{{"2101", {{1, 2}, {2, 1}}}, {"2103", {{5, 1}}}});
    EXPECT_EQ(first.logSourceMetricsByMergingWithLogSourceMetrics(second)->droppedEventCounterByLogSource(),
              (TTRLogSourceMetrics::Counts{{"2101", {{1, 5}, {2, 1}}}, {"2103", {{5, 1}}}}));
    TTRLogSourceMetrics huge(TTRLogSourceMetrics::Counts{{"2101", {{1, INT64_MAX}}}});
    EXPECT_EQ(huge.logSourceMetricsByMergingWithLogSourceMetrics(first)
                  ->droppedEventCounterByLogSource()
                  .at("2101")
                  .at(1),
              INT64_MAX);
}

TEST_F(Metrics, TakingWithNothingStoredRejectsAndStartsAWindowThatLaterUploadsTake) {
    std::optional<plat::Error> error;
    EXPECT_FALSE(take(&error));
    EXPECT_TRUE(error);
    auto window = stored();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->collectionStartDate(), clock.wallNow());
    EXPECT_TRUE(window->logSourceMetrics()->droppedEventCounterByLogSource().empty());

    // Drops accumulate in the window; taking them hands them out and starts a fresh one.
    TPRPromiseAwait(controller->logEventsDroppedForReason(1, {makeEvent("2102", 1001)}));
    clock.advance(std::chrono::seconds(60));
    TPRPromiseAwait(controller->logEventsDroppedForReason(1, {makeEvent("2102", 1001)}));
    clock.advance(std::chrono::seconds(60));
    auto metrics = take();
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->collectionStartDate(), window->collectionStartDate());
    EXPECT_EQ(metrics->collectionEndDate(), clock.wallNow());
    EXPECT_EQ(metrics->logSourceMetrics()->droppedEventCounterByLogSource().at("2102").at(1), 2);
    EXPECT_EQ(metrics->maxCacheSize(), 20000000u);
    EXPECT_GT(metrics->currentCacheSize(), 0u) << "the stored metadata itself takes room";
    EXPECT_EQ(metrics->bundleID(), "io.velmora.mac");
    EXPECT_TRUE(stored()->logSourceMetrics()->droppedEventCounterByLogSource().empty());
    EXPECT_EQ(stored()->collectionStartDate(), clock.wallNow());
}

TEST_F(Metrics, OfferedCountsMergeIntoAWindowThatStartedLaterAndNeverIntoAnEarlierOne) {
    take(); // stores a window starting now
    const plat::Date start = clock.wallNow();
    TPRPromiseAwait(controller->logEventsDroppedForReason(2, {makeEvent("2101", 1002)}));

    auto earlier = std::make_shared<const TTRMetrics>(
        plat::Date{start.secondsSince1970 - 100}, start,
        std::make_shared<const TTRLogSourceMetrics>(TTRLogSourceMetrics::Counts{{"2101", {{2, 4}}}}), 0, 0,
        "");
    TPRPromiseAwait(controller->offerMetrics(earlier));
    EXPECT_EQ(stored()->collectionStartDate(), earlier->collectionStartDate());
    EXPECT_EQ(stored()->logSourceMetrics()->droppedEventCounterByLogSource().at("2101").at(2), 5);

    auto later = std::make_shared<const TTRMetrics>(
        plat::Date{start.secondsSince1970 + 100}, start,
        std::make_shared<const TTRLogSourceMetrics>(TTRLogSourceMetrics::Counts{{"2101", {{2, 40}}}}), 0, 0,
        "");
    TPRPromiseAwait(controller->offerMetrics(later));
    EXPECT_EQ(stored()->logSourceMetrics()->droppedEventCounterByLogSource().at("2101").at(2), 5);
    EXPECT_TRUE(controller->offerMetrics(nullptr)->isFulfilled());
}

TEST_F(Metrics, AnEmptyDropStoresNothingAndTheStorageReportsRefusedEvents) {
    EXPECT_TRUE(controller->logEventsDroppedForReason(1, {})->isFulfilled());
    EXPECT_FALSE(stored());

    storage.storage->setDelegate(controller);
    std::shared_ptr<TTREvent> big = makeEvent("2102", 1001, std::string(kTTRFlatFileStorageSizeLimit, 'x'));
    EXPECT_FALSE(storage.store(big).first);
    storage.drain();
    // The delegate's promise is not awaited; the count lands with the storage's next step.
    TPRWaitForPromisesWithTimeout(5);
    auto window = stored();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->logSourceMetrics()->droppedEventCounterByLogSource().at("2102").at(2), 1);
}
