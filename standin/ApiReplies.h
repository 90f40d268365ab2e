// The JSON error bodies the service sends: a plain message, or a validation failure with the
// offending field under "errors" (the key the application's sign-in looks for).
#pragma once

#include "standin/StandinReply.h"

#include <string>

namespace standin {

// {"message": message}
StandinReply messageReply(int status, const std::string& message);
// {"errors": {field: [message]}, "message": message}
StandinReply validationReply(int status, const std::string& field, const std::string& message);

} // namespace standin
