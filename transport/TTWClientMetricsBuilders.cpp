#include "transport/TTWClientMetricsBuilders.h"

#include "transport/TTRMetrics.h"

#include <cmath>
#include <limits>

namespace {

int64_t wholeSecondsInMillis(plat::Date date) {
    double seconds = std::trunc(date.secondsSince1970);
    if (std::isnan(seconds)) return 0;
    // 9.2e15 seconds times 1000 is the largest product that still fits 64 bits.
    if (seconds >= 9.2e15) return std::numeric_limits<int64_t>::max();
    if (seconds <= -9.2e15) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(seconds) * 1000;
}

int64_t clampedSize(uint64_t size) {
    return size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(size);
}

} // namespace

TTWLogSourceMetricsRecord::TTWLogSourceMetricsRecord()
    : TTWProtoRecord(ttr_client_metrics_LogSourceMetrics_fields) {
    dropped_.fields = ttr_client_metrics_LogEventDropped_fields;
    message.log_event_dropped.funcs.encode = TTWEncodeRepeatedMessages<ttr_client_metrics_LogEventDropped>;
    message.log_event_dropped.arg = &dropped_;
}

TTWClientMetricsRecord::TTWClientMetricsRecord() : TTWProtoRecord(ttr_client_metrics_ClientMetrics_fields) {
    message.log_source_metrics.funcs.encode = TTWEncodeRepeatedRecords<TTWLogSourceMetricsRecord>;
    message.log_source_metrics.arg = &logSources_;
}

ttr_client_metrics_TimeWindow TTWConstructTimeWindow(plat::Date start, plat::Date end) {
    ttr_client_metrics_TimeWindow window = ttr_client_metrics_TimeWindow_init_zero;
    window.has_start_ms = true;
    window.start_ms = wholeSecondsInMillis(start);
    window.has_end_ms = true;
    window.end_ms = wholeSecondsInMillis(end);
    return window;
}

std::vector<std::unique_ptr<TTWLogSourceMetricsRecord>>
TTWConstructLogSourceMetrics(const TTRLogSourceMetrics& metrics) {
    std::vector<std::unique_ptr<TTWLogSourceMetricsRecord>> records;
    records.reserve(TTWGetLogSourceMetricsCount(metrics));
    for (const auto& [source, reasons] : metrics.droppedEventCounterByLogSource()) {
        auto record = std::make_unique<TTWLogSourceMetricsRecord>();
        record->message.log_source = TTWEncodeString(source);
        for (const auto& [reason, count] : reasons) {
            ttr_client_metrics_LogEventDropped dropped = ttr_client_metrics_LogEventDropped_init_zero;
            dropped.has_events_dropped_count = true;
            dropped.events_dropped_count = count;
            dropped.has_reason = true;
            dropped.reason = TTWConvertEventDropReasonToProtoReason(reason);
            record->dropped().items.push_back(dropped);
        }
        records.push_back(std::move(record));
    }
    return records;
}

size_t TTWGetLogSourceMetricsCount(const TTRLogSourceMetrics& metrics) {
    return metrics.droppedEventCounterByLogSource().size();
}

uint32_t TTWConvertEventDropReasonToProtoReason(int64_t reason) {
    return reason >= 1 && reason <= 6 ? static_cast<uint32_t>(reason) : 0;
}

std::unique_ptr<TTWClientMetricsRecord> TTWConstructClientMetrics(const TTRMetrics& metrics) {
    auto record = std::make_unique<TTWClientMetricsRecord>();
    ttr_client_metrics_ClientMetrics& message = record->message;
    message.has_window = true;
    message.window = TTWConstructTimeWindow(metrics.collectionStartDate(), metrics.collectionEndDate());
    record->logSources() = TTWConstructLogSourceMetrics(*metrics.logSourceMetrics());
    message.has_global_metrics = true;
    message.global_metrics.has_storage_metrics = true;
    ttr_client_metrics_StorageMetrics& storage = message.global_metrics.storage_metrics;
    storage.has_current_cache_size_bytes = true;
    storage.current_cache_size_bytes = clampedSize(metrics.currentCacheSize());
    storage.has_max_cache_size_bytes = true;
    storage.max_cache_size_bytes = clampedSize(metrics.maxCacheSize());
    message.bundle_id = TTWEncodeString(metrics.bundleID());
    return record;
}
