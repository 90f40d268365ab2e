#include "platform/foundation/Text.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

namespace plat::text {

namespace {

icu::UnicodeString unicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// The NFC normaliser is a process-wide ICU singleton; a failure to load ICU data leaves it null
// and the text is then used as given.
const icu::Normalizer2* nfc() {
    static const icu::Normalizer2* normalizer = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return normalizer;
}

int sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString& text, std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    auto m = std::make_unique<icu::RegexMatcher>(unicode(pattern), text, 0, status);
    if (U_FAILURE(status)) return nullptr;
    return m;
}

} // namespace

bool isValidUTF8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF)
            length = 2;
        else if (c == 0xE0)
            length = 3, lo = 0xA0;
        else if (c == 0xED)
            length = 3, hi = 0x9F; // excludes UTF-16 surrogates
        else if (c >= 0xE1 && c <= 0xEF)
            length = 3;
        else if (c == 0xF0)
            length = 4, lo = 0x90;
        else if (c >= 0xF1 && c <= 0xF3)
            length = 4;
        else if (c == 0xF4)
            length = 4, hi = 0x8F; // nothing above U+10FFFF
        else
            return false;
        if (n - i < length || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < length; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

std::string normalizedNFC(std::string_view text) {
    const icu::Normalizer2* n = nfc();
    if (!n) return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString source = unicode(text);
    if (n->isNormalized(source, status) && U_SUCCESS(status) && isValidUTF8(text)) return std::string(text);
    status = U_ZERO_ERROR;
    icu::UnicodeString result = n->normalize(source, status);
    return U_SUCCESS(status) ? utf8(result) : std::string(text);
}

bool canonicallyEquals(std::string_view a, std::string_view b) {
    return canonicalCompare(a, b) == 0;
}

int canonicalCompare(std::string_view a, std::string_view b) {
    // UTF-8 byte order is code point order, so the normalised forms compare as bytes.
    return sign(normalizedNFC(a).compare(normalizedNFC(b)));
}

size_t graphemeCount(std::string_view text) {
    if (text.empty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    icu::UnicodeString source = unicode(text);
    if (U_FAILURE(status) || !it) return static_cast<size_t>(source.countChar32());
    it->setText(source);
    size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next())
        ++count;
    return count;
}

bool matchesRegex(std::string_view text, std::string_view pattern) {
    icu::UnicodeString source = unicode(text);
    auto m = matcher(source, pattern);
    if (!m) return false;
    UErrorCode status = U_ZERO_ERROR;
    bool result = m->matches(status);
    return U_SUCCESS(status) && result;
}

bool containsRegexMatch(std::string_view text, std::string_view pattern) {
    icu::UnicodeString source = unicode(text);
    auto m = matcher(source, pattern);
    if (!m) return false;
    UErrorCode status = U_ZERO_ERROR;
    bool result = m->find(0, status);
    return U_SUCCESS(status) && result;
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) {
    return sign(unicode(a).caseCompare(unicode(b), U_FOLD_CASE_DEFAULT));
}

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
    // One collator for the process; comparing through a const collator is thread-safe in ICU.
    static const icu::Collator* collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The POSIX locale of a bare environment (LANG=C) collates in byte order, capitals first;
        // the root order is what a user of no particular language expects.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getName()) == "en_US_POSIX" ||
            std::string_view(locale.getLanguage()).empty())
            locale = icu::Locale::getRoot();
        icu::Collator* c = icu::Collator::createInstance(locale, status);
        if (U_FAILURE(status) || !c) {
            delete c;
            return static_cast<icu::Collator*>(nullptr);
        }
        c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    if (!collator) return caseInsensitiveCompare(a, b);
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) return caseInsensitiveCompare(a, b);
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

bool caseInsensitiveContains(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return false;
    icu::UnicodeString h = unicode(haystack), n = unicode(needle);
    h.foldCase(U_FOLD_CASE_DEFAULT);
    n.foldCase(U_FOLD_CASE_DEFAULT);
    return h.indexOf(n) >= 0;
}

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string utf8Encoded(char32_t codePoint) {
    std::string s;
    if (codePoint < 0x80) {
        s += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        s += static_cast<char>(0xC0 | (codePoint >> 6));
        s += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        s += static_cast<char>(0xE0 | (codePoint >> 12));
        s += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x110000) {
        s += static_cast<char>(0xF0 | (codePoint >> 18));
        s += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    return s;
}

std::string lowercased(std::string_view text) {
    return utf8(unicode(text).toLower(icu::Locale::getRoot()));
}

std::string uppercased(std::string_view text) {
    return utf8(unicode(text).toUpper(icu::Locale::getRoot()));
}

} // namespace plat::text
