// Builders of the client-metrics message (ttr_client_metrics_ClientMetrics), the payload of the
// metrics event. Repeated entries are written by callbacks from the records that own them.
#pragma once

#include "transport/TTRLogSourceMetrics.h"
#include "transport/TTWProtoRecord.h"
#include "transport/proto/ttr_client_metrics.pb.h"

#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TTRMetrics;

// One log source's entry: its name and its counts per reason.
class TTWLogSourceMetricsRecord : public TTWProtoRecord<ttr_client_metrics_LogSourceMetrics> {
public:
    TTWLogSourceMetricsRecord();
    TTWRepeatedMessages<ttr_client_metrics_LogEventDropped>& dropped() { return dropped_; }

private:
    TTWRepeatedMessages<ttr_client_metrics_LogEventDropped> dropped_;
};

// The whole message with its log source entries.
class TTWClientMetricsRecord : public TTWProtoRecord<ttr_client_metrics_ClientMetrics> {
public:
    TTWClientMetricsRecord();
    std::vector<std::unique_ptr<TTWLogSourceMetricsRecord>>& logSources() { return logSources_; }

private:
    std::vector<std::unique_ptr<TTWLogSourceMetricsRecord>> logSources_;
};

// Both dates as whole seconds since 1970 (truncated toward zero) times 1000, saturated to 64 bits.
ttr_client_metrics_TimeWindow TTWConstructTimeWindow(plat::Date start, plat::Date end);
// One entry per log source of the table, in its order.
std::vector<std::unique_ptr<TTWLogSourceMetricsRecord>>
TTWConstructLogSourceMetrics(const TTRLogSourceMetrics& metrics);
// The number of log sources in the table.
size_t TTWGetLogSourceMetricsCount(const TTRLogSourceMetrics& metrics);
// The reason when it is 1 to 6, else 0.
uint32_t TTWConvertEventDropReasonToProtoReason(int64_t reason);
// The window, the log source entries, the storage sizes and the bundle id.
std::unique_ptr<TTWClientMetricsRecord> TTWConstructClientMetrics(const TTRMetrics& metrics);
