// Options of the JSON text writer (`JSON::rawString(const JSONWritingOptions&)`): a map from
// `writingOptionsKeys` to values of any type; a value of the wrong type counts as absent.
#pragma once

#include <any>
#include <map>

// The keys of the writer's options map. Expected values:
// - jsonSerialization: the serialiser's writing options (unsigned bit set; default pretty-printed);
// - castNilToNSNull: bool; true writes lists and maps with the own writer (absent elements as null);
// - maxObjextDepth: an integer depth budget of the own writer (default 10);
// - encoding: a StringEncoding for the serialiser's bytes (default utf8).
enum class writingOptionsKeys { jsonSerialization, castNilToNSNull, maxObjextDepth, encoding };

// The text encodings the writer can decode its output with.
enum class StringEncoding { utf8, ascii, isoLatin1 };

using JSONWritingOptions = std::map<writingOptionsKeys, std::any>;
