#include "transport/TTWProtoRecord.h"

#include <cstdlib>
#include <cstring>

namespace {

// Writes the event's serialized bytes, or an empty byte string: the payload is always present.
bool encodePayload(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* record = static_cast<const TTWLogEventRecord*>(*arg);
    if (!pb_encode_tag_for_field(stream, field)) return false;
    const std::optional<plat::Data>& bytes = record->event()->serializedDataObjectBytes();
    if (!bytes) return pb_encode_string(stream, nullptr, 0);
    return pb_encode_string(stream, bytes->data(), bytes->size());
}

} // namespace

TTWLogEventRecord::TTWLogEventRecord(std::shared_ptr<const TTREvent> event)
    : TTWProtoRecord(ttw_LogEvent_fields), event_(std::move(event)) {
    message.payload.funcs.encode = encodePayload;
    message.payload.arg = this;
}

TTWLogRequestRecord::TTWLogRequestRecord() : TTWProtoRecord(ttw_LogRequest_fields) {
    message.log_event.funcs.encode = TTWEncodeRepeatedRecords<TTWLogEventRecord>;
    message.log_event.arg = &logEvents_;
}

TTWBatchedLogRequestRecord::TTWBatchedLogRequestRecord() : TTWProtoRecord(ttw_BatchedLogRequest_fields) {
    message.log_request.funcs.encode = TTWEncodeRepeatedRecords<TTWLogRequestRecord>;
    message.log_request.arg = &logRequests_;
}

pb_bytes_array_t* TTWEncodeString(std::string_view text) {
    if (text.size() > PB_SIZE_MAX) return nullptr;
    // pb_release frees with the C allocator, so the array comes from it too.
    auto* array = static_cast<pb_bytes_array_t*>(std::calloc(1, PB_BYTES_ARRAY_T_ALLOCSIZE(text.size())));
    if (!array) return nullptr;
    array->size = static_cast<pb_size_t>(text.size());
    if (!text.empty()) std::memcpy(array->bytes, text.data(), text.size());
    return array;
}

pb_bytes_array_t* TTWEncodeData(const plat::Data& data) {
    return TTWEncodeString(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}
