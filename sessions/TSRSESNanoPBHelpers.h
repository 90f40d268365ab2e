// The plain functions the session code shares over nanopb: texts and bytes to and from allocated
// byte arrays, two-pass encoding with its errors, and the decode stream's error text. Every array
// made here comes from malloc and is freed with nanopb_free (or pb_release). No shared state.
#pragma once

#include "sessions/proto/sessions.pb.h"

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <pb.h>
#include <pb_decode.h>

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kTSRSESEncodeErrorDomain = "TSRSESEncodeError";

// A new array holding the UTF-8 bytes of `string` (length 0 for the empty text); null when the
// allocation fails or the text is longer than an array can count (65,535 bytes).
pb_bytes_array_t* TSRSESEncodeString(std::string_view string);
// A new array of the bytes; null as above.
pb_bytes_array_t* TSRSESEncodeData(const plat::Data& bytes);
// The array's bytes as text; the empty text for a null or zero-length array.
std::string TSRSESDecodeString(const pb_bytes_array_t* array);
plat::Data TSRSESDecodeData(const pb_bytes_array_t* array);
// Frees an array made here or by nanopb; null is fine.
void nanopb_free(void* pointer);

// Equal lengths and bytes; a null `array` equals an `expected` of length 0.
bool TSRSESIsPBArrayEqual(const pb_bytes_array_t* array, const pb_bytes_array_t* expected);
bool TSRSESIsPBStringEqual(const pb_bytes_array_t* array, std::string_view string);
bool TSRSESIsPBDataEqual(const pb_bytes_array_t* array, const plat::Data& bytes);

// The field number of apple_app_info, the selector of the platform_info oneof.
pb_size_t TSRSESGetAppleApplicationInfoTag();

// The message's bytes: sized first, then written into a buffer of exactly that size. None on a
// failure, which `error` (when given) describes.
std::optional<plat::Data> TSRSESEncodeProto(const pb_msgdesc_t* fields, const void* message,
                                            plat::Error* error);
// An error of the domain "TSRSESEncodeError", code -1, whose localized description is `description`.
plat::Error TSRSESMakeEncodeError(const std::string& description);
// The decode stream's error text, or "(none)".
std::string TSRSESPBGetError(const pb_istream_t& stream);
// The session event's bytes; empty bytes (never none) when it does not encode, which is logged.
plat::Data TSRSESTransportBytes(const tessera_apphealth_sessions_SessionEvent& message);
