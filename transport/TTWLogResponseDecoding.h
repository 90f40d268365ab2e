// Decoding the upload service's reply, a ttw_LogResponse. The bytes come from the network and are
// untrusted: any input gives either the decoded reply or an error, and decoding never allocates
// (the QoS overrides are checked entry by entry on the stack and dropped). Re-entrant.
#pragma once

#include "transport/proto/ttw_upload.pb.h"

#include "platform/object/Error.h"
#include "platform/object/Object.h"

// The reply; all-empty when the bytes do not decode, with `error` (when given) set to domain
// NSURLErrorDomain, code -1, and the nanopb error text under "nanopb error:" ("(none)" when nanopb
// has none). The caller may pb_release the record; nothing in it is allocated.
ttw_LogResponse TTWDecodeLogResponse(const plat::Data& bytes, plat::Error* error);
