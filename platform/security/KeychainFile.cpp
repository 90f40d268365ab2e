#include "platform/security/KeychainFile.h"

#include "platform/security/SecAccessControl.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plat::KeychainFile {

namespace {

constexpr char kMagic[4] = {'V', 'K', 'C', 'H'};
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 24;

enum Tag : uint8_t {
    kString = 's',
    kData = 'd',
    kBool = 'b',
    kInt = 'i',
    kDouble = 'f',
    kDate = 't',
    kAccess = 'a'
};

class Writer {
public:
    std::string out;
    void u8(uint8_t v) { out.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) { uint(v, 2); }
    void u32(uint32_t v) { uint(v, 4); }
    void u64(uint64_t v) { uint(v, 8); }
    void f64(double v) { u64(std::bit_cast<uint64_t>(v)); }
    void bytes(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
    void blob(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        out += s;
    }
    void blob(const Data& d) {
        u32(static_cast<uint32_t>(d.size()));
        bytes(d.data(), d.size());
    }

private:
    void uint(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
};

// Every read fails (and stays failed) once the input runs out, so callers check once at the end
// of each record.
class Reader {
public:
    Reader(const std::string& s, size_t pos) : s_(s), pos_(pos) {}
    bool ok() const { return ok_; }
    size_t remaining() const { return ok_ ? s_.size() - pos_ : 0; }
    uint64_t uint(int n) {
        if (!take(static_cast<size_t>(n))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= uint64_t(static_cast<uint8_t>(s_[pos_ - n + i])) << (8 * i);
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(uint(1)); }
    uint32_t u32() { return static_cast<uint32_t>(uint(4)); }
    uint64_t u64() { return uint(8); }
    double f64() { return std::bit_cast<double>(u64()); }
    std::string blob() {
        uint32_t n = u32();
        if (!take(n)) return {};
        return s_.substr(pos_ - n, n);
    }
    bool raw(void* dst, size_t n) {
        if (!take(n)) return false;
        std::memcpy(dst, s_.data() + pos_ - n, n);
        return true;
    }

private:
    bool take(size_t n) {
        if (!ok_ || n > s_.size() - pos_) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    const std::string& s_;
    size_t pos_;
    bool ok_ = true;
};

void writeValue(Writer& w, const Object& value) {
    switch (value.kind()) {
    case Object::Kind::String:
        w.u8(kString);
        w.blob(value.string());
        break;
    case Object::Kind::Data:
        w.u8(kData);
        w.blob(value.data());
        break;
    case Object::Kind::Date:
        w.u8(kDate);
        w.f64(value.date().secondsSince1970);
        break;
    case Object::Kind::Number:
        if (value.number().isBool()) {
            w.u8(kBool);
            w.u8(value.number().boolValue() ? 1 : 0);
        } else if (value.number().isInteger()) {
            w.u8(kInt);
            w.u64(static_cast<uint64_t>(value.number().int64Value()));
        } else {
            w.u8(kDouble);
            w.f64(value.number().doubleValue());
        }
        break;
    case Object::Kind::Opaque:
        if (const auto* access = secAccessControl(value)) {
            w.u8(kAccess);
            w.blob(access->protection);
            w.u64(access->flags);
        }
        break;
    default:
        break;
    }
}

bool storable(const Object& value) {
    switch (value.kind()) {
    case Object::Kind::String:
    case Object::Kind::Data:
    case Object::Kind::Date:
    case Object::Kind::Number:
        return true;
    case Object::Kind::Opaque:
        return secAccessControl(value) != nullptr;
    default:
        return false;
    }
}

Object readValue(Reader& r) {
    switch (r.u8()) {
    case kString:
        return Object(r.blob());
    case kData:
        return Object(toData(r.blob()));
    case kDate:
        return Object(Date{r.f64()});
    case kBool: {
        uint8_t b = r.u8();
        if (b > 1) return {};
        return Object(b == 1);
    }
    case kInt:
        return Object(static_cast<int64_t>(r.u64()));
    case kDouble:
        return Object(r.f64());
    case kAccess: {
        std::string protection = r.blob();
        uint64_t flags = r.u64();
        return makeSecAccessControlObject(SecAccessControl{std::move(protection), flags});
    }
    default:
        return {};
    }
}

} // namespace

uint32_t crc32(const std::string& bytes, size_t offset) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    // Raw pointers rather than checked element access: this runs over every byte on every call.
    const uint32_t* t = table.data();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    uint32_t crc = 0xFFFFFFFFu;
    for (p += std::min(offset, bytes.size()); p != end; ++p)
        crc = t[(crc ^ *p) & 0xff] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string encode(const std::vector<KeychainItem>& items) {
    Writer payload;
    for (const auto& item : items) {
        payload.bytes(item.id.data(), item.id.size());
        uint32_t count = 0;
        for (const auto& [key, value] : item.attributes)
            count += storable(value) ? 1 : 0;
        payload.u32(count);
        for (const auto& [key, value] : item.attributes) {
            if (!storable(value)) continue;
            payload.blob(key);
            writeValue(payload, value);
        }
    }
    Writer file;
    file.bytes(kMagic, sizeof kMagic);
    file.u16(kVersion);
    file.u16(0);
    file.u32(static_cast<uint32_t>(items.size()));
    file.u64(payload.out.size());
    file.u32(crc32(payload.out));
    file.out += payload.out;
    return std::move(file.out);
}

std::optional<std::vector<KeychainItem>> decode(const std::string& bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Reader header(bytes, sizeof kMagic);
    uint16_t version = static_cast<uint16_t>(header.uint(2));
    uint16_t reserved = static_cast<uint16_t>(header.uint(2));
    uint32_t count = header.u32();
    uint64_t payloadLength = header.u64();
    uint32_t checksum = header.u32();
    if (!header.ok() || version != kVersion || reserved != 0 || payloadLength != bytes.size() - kHeaderSize)
        return std::nullopt;
    if (crc32(bytes, kHeaderSize) != checksum) return std::nullopt;

    Reader r(bytes, kHeaderSize);
    std::vector<KeychainItem> items;
    // Each record takes at least 20 bytes, which bounds a hostile count before anything is reserved.
    if (count > r.remaining() / 20) return std::nullopt;
    items.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        KeychainItem item;
        r.raw(item.id.data(), item.id.size());
        uint32_t attributes = r.u32();
        if (!r.ok() || attributes > r.remaining() / 5) return std::nullopt;
        for (uint32_t a = 0; a < attributes; ++a) {
            std::string key = r.blob();
            Object value = readValue(r);
            if (!r.ok() || value.isAbsent()) return std::nullopt;
            item.attributes[std::move(key)] = std::move(value);
        }
        items.push_back(std::move(item));
    }
    if (!r.ok() || r.remaining() != 0) return std::nullopt;
    return items;
}

} // namespace plat::KeychainFile
