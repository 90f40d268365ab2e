// The JSON error bodies the service sends: a plain message, or a validation failure with the
// offending field under "errors" (the key the application's sign-in looks for).
#pragma once

#include "standin/RequestLog.h"
#include "standin/StandinReply.h"

#include <string>
#include <vector>

namespace standin {

// {"message": message}
StandinReply messageReply(int status, const std::string& message);
// {"errors": {field: [message]}, "message": message}
StandinReply validationReply(int status, const std::string& field, const std::string& message);
// A service's own request record for its administration: [{"method", "path", "query",
// "headers": {name: value}}], bodies left out.
StandinReply requestListReply(const std::vector<RequestLogEntry>& entries);

} // namespace standin
