// Runs at crash time. The text of record files: numbers, quoted and hex-encoded strings, and the
// separators between keys, hashes and arrays. Everything is assembled in small local buffers.
#include "crash/record/CRWFile.h"

#include "crash/record/CRWHex.h"
#include "crash/record/CRWMemory.h"

#include <cstring>

namespace {

constexpr const char* kDigits = "0123456789abcdef";

// Collects output in a small stack buffer and hands it to the record in as few writes as possible:
// a short string becomes one write call.
class LocalWriter {
public:
    explicit LocalWriter(CRWFile* file) : file_(file) {}
    ~LocalWriter() { flush(); }
    LocalWriter(const LocalWriter&) = delete;
    LocalWriter& operator=(const LocalWriter&) = delete;

    void put(char c) {
        if (length_ == sizeof(bytes_)) flush();
        bytes_[length_++] = c;
    }
    void flush() {
        if (length_ > 0) CRWFileWriteToFileDescriptorOrBuffer(file_, bytes_, length_);
        length_ = 0;
    }

private:
    CRWFile* file_;
    char bytes_[64];
    size_t length_ = 0;
};

// One byte of a plain string as JSON text: '"' and '\\' escaped, control bytes as \u00XX.
void putEscaped(LocalWriter& out, unsigned char c) {
    if (c == '"' || c == '\\') {
        out.put('\\');
        out.put(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7f) {
        out.put('\\');
        out.put('u');
        out.put('0');
        out.put('0');
        out.put(kDigits[c >> 4]);
        out.put(kDigits[c & 0xf]);
    } else {
        out.put(static_cast<char>(c));
    }
}

void writeNull(CRWFile* file) {
    CRWFileWriteToFileDescriptorOrBuffer(file, "null", 4);
}

void writeComma(CRWFile* file) {
    if (file->commaPending) CRWFileWriteToFileDescriptorOrBuffer(file, ",", 1);
}

void writeArrayEntryStart(CRWFile* file) {
    writeComma(file);
}

void writeEntryEnd(CRWFile* file) {
    if (CRWIsValidPointer(file)) file->commaPending = true;
}

} // namespace

size_t CRWFilePrepareUInt64(char* buffer, uint64_t value, bool hex) {
    memset(buffer, 0, CRWFileNumberBufferSize);
    const uint64_t base = hex ? 16 : 10;
    size_t index = CRWFileNumberBufferSize - 2;
    for (;;) {
        buffer[index] = kDigits[value % base];
        if (value < base) break;
        value /= base;
        --index;
    }
    return index;
}

void CRWFileWriteUInt64(CRWFile* file, uint64_t value, bool hex) {
    char buffer[CRWFileNumberBufferSize];
    const size_t first = CRWFilePrepareUInt64(buffer, value, hex);
    CRWFileWriteToFileDescriptorOrBuffer(file, buffer + first, CRWFileNumberBufferSize - 1 - first);
}

void CRWFileWriteInt64(CRWFile* file, int64_t value) {
    if (value < 0) {
        CRWFileWriteToFileDescriptorOrBuffer(file, "-", 1);
        // The magnitude in unsigned arithmetic, so the most negative value does not overflow.
        CRWFileWriteUInt64(file, 0 - static_cast<uint64_t>(value), false);
    } else {
        CRWFileWriteUInt64(file, static_cast<uint64_t>(value), false);
    }
}

bool CRWFileFDWriteUInt64(int descriptor, uint64_t value, bool hex) {
    char buffer[CRWFileNumberBufferSize];
    const size_t first = CRWFilePrepareUInt64(buffer, value, hex);
    return CRWFileWriteWithRetries(descriptor, buffer + first, CRWFileNumberBufferSize - 1 - first);
}

bool CRWFileFDWriteInt64(int descriptor, int64_t value) {
    if (value >= 0) return CRWFileFDWriteUInt64(descriptor, static_cast<uint64_t>(value), false);
    return CRWFileWriteWithRetries(descriptor, "-", 1) &&
           CRWFileFDWriteUInt64(descriptor, 0 - static_cast<uint64_t>(value), false);
}

void CRWFileWriteStringWithSuffix(CRWFile* file, const char* bytes, size_t length, char suffix) {
    if (!CRWIsValidPointer(file)) return;
    LocalWriter out(file);
    out.put('"');
    for (size_t i = 0; i < length; ++i)
        putEscaped(out, static_cast<unsigned char>(bytes[i]));
    out.put('"');
    if (suffix != '\0') out.put(suffix);
}

void CRWFileWriteString(CRWFile* file, const char* text) {
    if (!CRWIsValidPointer(file)) return;
    if (text == nullptr) {
        writeNull(file);
        return;
    }
    CRWFileWriteStringWithSuffix(file, text, strlen(text), '\0');
}

void CRWFileWriteHexEncodedString(CRWFile* file, const char* text) {
    if (!CRWIsValidPointer(file)) return;
    if (text == nullptr) {
        writeNull(file);
        return;
    }
    CRWFileWriteToFileDescriptorOrBuffer(file, "\"", 1);
    // 16 input bytes become one piece of 32 digits.
    char piece[32];
    size_t held = 0;
    for (const char* cursor = text; *cursor != '\0'; ++cursor) {
        CRWHexFromByte(static_cast<uint8_t>(*cursor), piece + held);
        held += 2;
        if (held == sizeof(piece)) {
            CRWFileWriteToFileDescriptorOrBuffer(file, piece, held);
            held = 0;
        }
    }
    if (held > 0) CRWFileWriteToFileDescriptorOrBuffer(file, piece, held);
    CRWFileWriteToFileDescriptorOrBuffer(file, "\"", 1);
}

void CRWFileWriteCollectionStart(CRWFile* file, char opener) {
    if (!CRWIsValidPointer(file)) return;
    const char text[2] = {',', opener};
    if (file->commaPending)
        CRWFileWriteToFileDescriptorOrBuffer(file, text, 2);
    else
        CRWFileWriteToFileDescriptorOrBuffer(file, text + 1, 1);
    file->depth += 1;
    file->commaPending = false;
}

void CRWFileWriteCollectionEnd(CRWFile* file, char closer) {
    if (!CRWIsValidPointer(file)) return;
    CRWFileWriteToFileDescriptorOrBuffer(file, &closer, 1);
    if (file->depth >= 1) {
        file->depth -= 1;
        file->commaPending = file->depth > 0;
    }
}

void CRWFileWriteHashKey(CRWFile* file, const char* key) {
    if (!CRWIsValidPointer(file) || key == nullptr) return;
    writeComma(file);
    CRWFileWriteStringWithSuffix(file, key, strlen(key), ':');
    file->commaPending = false;
}

void CRWFileWriteSectionStart(CRWFile* file, const char* name) {
    CRWFileWriteHashStart(file);
    CRWFileWriteHashKey(file, name);
}

void CRWFileWriteSectionEnd(CRWFile* file) {
    CRWFileWriteHashEnd(file);
    if (CRWIsValidPointer(file)) CRWFileWriteToFileDescriptorOrBuffer(file, "\n", 1);
}

void CRWFileWriteHashStart(CRWFile* file) {
    CRWFileWriteCollectionStart(file, '{');
}

void CRWFileWriteHashEnd(CRWFile* file) {
    CRWFileWriteCollectionEnd(file, '}');
}

void CRWFileWriteArrayStart(CRWFile* file) {
    CRWFileWriteCollectionStart(file, '[');
}

void CRWFileWriteArrayEnd(CRWFile* file) {
    CRWFileWriteCollectionEnd(file, ']');
}

void CRWFileWriteHashEntryUint64(CRWFile* file, const char* key, uint64_t value) {
    CRWFileWriteHashKey(file, key);
    CRWFileWriteUInt64(file, value, false);
    writeEntryEnd(file);
}

void CRWFileWriteHashEntryInt64(CRWFile* file, const char* key, int64_t value) {
    CRWFileWriteHashKey(file, key);
    CRWFileWriteInt64(file, value);
    writeEntryEnd(file);
}

void CRWFileWriteHashEntryString(CRWFile* file, const char* key, const char* value) {
    CRWFileWriteHashKey(file, key);
    CRWFileWriteString(file, value);
    writeEntryEnd(file);
}

void CRWFileWriteHashEntryNSString(CRWFile* file, const char* key, std::optional<std::string_view> value) {
    CRWFileWriteHashKey(file, key);
    if (value)
        CRWFileWriteStringWithSuffix(file, value->data(), value->size(), '\0');
    else
        writeNull(file);
    writeEntryEnd(file);
}

void CRWFileWriteHashEntryNSStringUnlessNilOrEmpty(CRWFile* file, const char* key,
                                                   std::optional<std::string_view> value) {
    if (!value || value->empty()) return;
    CRWFileWriteHashEntryNSString(file, key, value);
}

void CRWFileWriteHashEntryHexEncodedString(CRWFile* file, const char* key, const char* value) {
    CRWFileWriteHashKey(file, key);
    CRWFileWriteHexEncodedString(file, value);
    writeEntryEnd(file);
}

void CRWFileWriteHashEntryBoolean(CRWFile* file, const char* key, bool value) {
    CRWFileWriteHashKey(file, key);
    if (value)
        CRWFileWriteToFileDescriptorOrBuffer(file, "true", 4);
    else
        CRWFileWriteToFileDescriptorOrBuffer(file, "false", 5);
    writeEntryEnd(file);
}

void CRWFileWriteArrayEntryUint64(CRWFile* file, uint64_t value) {
    if (!CRWIsValidPointer(file)) return;
    writeArrayEntryStart(file);
    CRWFileWriteUInt64(file, value, false);
    writeEntryEnd(file);
}

void CRWFileWriteArrayEntryString(CRWFile* file, const char* value) {
    if (!CRWIsValidPointer(file)) return;
    writeArrayEntryStart(file);
    CRWFileWriteString(file, value);
    writeEntryEnd(file);
}

void CRWFileWriteArrayEntryHexEncodedString(CRWFile* file, const char* value) {
    if (!CRWIsValidPointer(file)) return;
    writeArrayEntryStart(file);
    CRWFileWriteHexEncodedString(file, value);
    writeEntryEnd(file);
}
