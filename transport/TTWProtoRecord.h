// The in-memory form of the upload's protocol-buffer messages: one record per message, owning the
// nanopb struct, the byte arrays allocated into it (released with pb_release when the record goes)
// and the children its callback fields write. Payloads and repeated messages are written by
// callbacks, never copied into 16-bit-counted nanopb arrays, so a megabyte payload or thousands of
// events fit. Records are neither copied nor moved: their callbacks point at the record itself.
#pragma once

#include "transport/TTREvent.h"
#include "transport/proto/ttw_upload.pb.h"

#include "platform/object/Object.h"

#include <pb.h>
#include <pb_decode.h>
#include <pb_encode.h>

#include <memory>
#include <string_view>
#include <vector>

template <typename Message> class TTWProtoRecord {
public:
    explicit TTWProtoRecord(const pb_msgdesc_t* fields) : fields_(fields) {}
    ~TTWProtoRecord() { pb_release(fields_, &message); }
    TTWProtoRecord(const TTWProtoRecord&) = delete;
    TTWProtoRecord& operator=(const TTWProtoRecord&) = delete;

    const pb_msgdesc_t* fields() const { return fields_; }

    // All fields absent, every pointer null, no callback set.
    Message message{};

private:
    const pb_msgdesc_t* fields_;
};

// One ttw_LogEvent: its payload callback writes the event's serialized bytes (or nothing, as an
// empty byte string) straight from the event it keeps.
class TTWLogEventRecord : public TTWProtoRecord<ttw_LogEvent> {
public:
    explicit TTWLogEventRecord(std::shared_ptr<const TTREvent> event);
    const std::shared_ptr<const TTREvent>& event() const { return event_; }

private:
    std::shared_ptr<const TTREvent> event_;
};

// One ttw_LogRequest: its log_event callback writes the event records in order.
class TTWLogRequestRecord : public TTWProtoRecord<ttw_LogRequest> {
public:
    TTWLogRequestRecord();
    std::vector<std::unique_ptr<TTWLogEventRecord>>& logEvents() { return logEvents_; }
    const std::vector<std::unique_ptr<TTWLogEventRecord>>& logEvents() const { return logEvents_; }

private:
    std::vector<std::unique_ptr<TTWLogEventRecord>> logEvents_;
};

// The upload body: its log_request callback writes the log requests in order.
class TTWBatchedLogRequestRecord : public TTWProtoRecord<ttw_BatchedLogRequest> {
public:
    TTWBatchedLogRequestRecord();
    std::vector<std::unique_ptr<TTWLogRequestRecord>>& logRequests() { return logRequests_; }
    const std::vector<std::unique_ptr<TTWLogRequestRecord>>& logRequests() const { return logRequests_; }

private:
    std::vector<std::unique_ptr<TTWLogRequestRecord>> logRequests_;
};

// A nanopb byte array holding `text`, allocated with the allocator pb_release frees with; null when
// the text is longer than a 16-bit count can hold (or the allocation fails).
pb_bytes_array_t* TTWEncodeString(std::string_view text);
pb_bytes_array_t* TTWEncodeData(const plat::Data& data);

// The encode callback of a repeated message field whose items are records: `arg` points at a
// std::vector<std::unique_ptr<Record>>, written in order.
template <typename Record>
bool TTWEncodeRepeatedRecords(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* records = static_cast<const std::vector<std::unique_ptr<Record>>*>(*arg);
    for (const std::unique_ptr<Record>& record : *records) {
        if (!pb_encode_tag_for_field(stream, field)) return false;
        if (!pb_encode_submessage(stream, record->fields(), &record->message)) return false;
    }
    return true;
}

// Plain messages (no allocated fields) of a repeated field written by TTWEncodeRepeatedMessages.
template <typename Message> struct TTWRepeatedMessages {
    const pb_msgdesc_t* fields = nullptr;
    std::vector<Message> items;
};

// The encode callback of a repeated message field whose `arg` points at a TTWRepeatedMessages.
template <typename Message>
bool TTWEncodeRepeatedMessages(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* repeated = static_cast<const TTWRepeatedMessages<Message>*>(*arg);
    for (const Message& item : repeated->items) {
        if (!pb_encode_tag_for_field(stream, field)) return false;
        if (!pb_encode_submessage(stream, repeated->fields, &item)) return false;
    }
    return true;
}
