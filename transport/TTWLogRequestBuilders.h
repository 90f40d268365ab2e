// Builders of the upload's wire format: the batched log request made from a batch of events, its
// two-pass encoding, and the 16-byte network record that events may carry in their custom bytes.
// Failures are logged and give an empty or shorter result, never an error. Re-entrant. The reply's
// decoding is TTWLogResponseDecoding.h.
#pragma once

#include "transport/TTREvent.h"
#include "transport/TTWProtoRecord.h"
#include "transport/proto/ttw_upload.pb.h"

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

// A batch's events grouped by mapping id.
using TTWEventsByMappingID = std::map<std::string, TTREvents>;

// Groups events by their mapping id.
TTWEventsByMappingID TTWGroupEventsByMappingID(const TTREvents& events);

// One log request per entry, in the map's order; the log source is the mapping id's integer value.
std::unique_ptr<TTWBatchedLogRequestRecord> TTWConstructBatchedLogRequest(const TTWEventsByMappingID& events);
// The client info, the log source, one log event per event and the request times of one clock
// snapshot. An empty set logs and gives an all-empty request.
std::unique_ptr<TTWLogRequestRecord> TTWConstructLogRequest(int32_t logSource, const TTREvents& events);
// Client type 15 with the Mac client info. The caller owns the byte arrays (a record releases them).
ttw_ClientInfo TTWConstructClientInfo();
// The OS version texts ("14.5", "14.5.0"), the bundle version and the bundle identifier.
ttw_MacClientInfo TTWConstructMacClientInfo();
// Part of the schema only: every field absent.
ttw_IosClientInfo TTWConstructiOSClientInfo();
// The event's clock, payload, custom-bytes extras and compliance data.
std::unique_ptr<TTWLogEventRecord> TTWConstructLogEvent(std::shared_ptr<const TTREvent> event);
// Product id origin 5 and the product id inside the privacy context.
ttw_ComplianceData TTWConstructComplianceData(const TTRProductData& productData);

// The 16-byte record for the current network (reachability and mobile subtype).
plat::Data TTWConstructNetworkConnectionInfoData();
// The same for a platform network type message (0 none, 1 non-mobile, 2 mobile) and subtype.
plat::Data TTWConstructNetworkConnectionInfoData(int32_t networkTypeMessage, int32_t platformMobileSubtype);
// The proto mobile subtype of the current mobile network (0 on this platform).
int32_t TTWNetworkConnectionInfoNetworkMobileSubtype();
// The proto mobile subtype for a platform subtype; 0 for 0 and for subtypes outside the table.
int32_t TTWMapMobileSubtype(int32_t platformMobileSubtype);
// The record's 16 bytes: presence byte, 3 zero bytes, little-endian value, for each field.
plat::Data TTWNetworkConnectionInfoBytes(const ttw_NetworkConnectionInfo& info);
// The record from exactly 16 bytes; none for another length.
std::optional<ttw_NetworkConnectionInfo> TTWParseNetworkConnectionInfoBytes(const plat::Data& bytes);

// The integer value of a mapping id as a decimal text would read: leading blanks, a sign and digits,
// saturated to 32 bits; 0 when there are no digits.
int32_t TTWLogSourceFromMappingID(const std::string& mappingID);

// The request's bytes, in two passes (sizing, then one exact-size buffer). A failed pass is logged
// and gives empty bytes, never a partly written buffer.
plat::Data TTWEncodeBatchedLogRequest(const TTWBatchedLogRequestRecord& request);
// The same two-pass scheme for any message; none when a pass fails (logged with `code`).
std::optional<plat::Data> TTWEncodeMessage(const pb_msgdesc_t* fields, const void* message, long code);
