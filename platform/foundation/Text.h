// Unicode-aware text helpers on UTF-8 strings: normalisation, canonical and case-insensitive
// comparison, grapheme counting, regular expressions and case mapping. Every function is pure and
// safe to call from any thread; malformed UTF-8 input is read with U+FFFD in place of bad bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat::text {

// Whether `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool isValidUTF8(std::string_view bytes);

// The text in Unicode normalisation form C (precomposed canonical mapping).
std::string normalizedNFC(std::string_view text);

// Whether the two texts are canonically equivalent ("e" + combining acute equals "é").
bool canonicallyEquals(std::string_view a, std::string_view b);

// Orders canonically equivalent texts as equal and others by code point; returns -1, 0 or 1.
int canonicalCompare(std::string_view a, std::string_view b);

// The number of user-perceived characters (extended grapheme clusters).
size_t graphemeCount(std::string_view text);

// Whether the whole text matches the regular expression `pattern`. An invalid pattern matches
// nothing.
bool matchesRegex(std::string_view text, std::string_view pattern);

// Whether `pattern` matches anywhere in the text. An invalid pattern matches nothing.
bool containsRegexMatch(std::string_view text, std::string_view pattern);

// Compares the texts ignoring case (full Unicode case folding); returns -1, 0 or 1.
int caseInsensitiveCompare(std::string_view a, std::string_view b);

// Orders the texts as the user's language sorts them, ignoring case (a collator of the current
// locale at secondary strength); falls back to caseInsensitiveCompare when no collator loads.
// Returns -1, 0 or 1.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

// Whether `needle` occurs in `haystack` ignoring case. The empty needle occurs nowhere, as on the
// platform.
bool caseInsensitiveContains(std::string_view haystack, std::string_view needle);

// Lower-cases the letters A to Z and leaves every other byte as it is: for schemes, keywords
// and codes that are ASCII by definition.
std::string asciiLowercased(std::string_view text);

// The UTF-8 bytes of one code point (none for values beyond U+10FFFF).
std::string utf8Encoded(char32_t codePoint);

// Language-neutral case mappings ("ß" upper-cases to "SS").
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);

} // namespace plat::text
