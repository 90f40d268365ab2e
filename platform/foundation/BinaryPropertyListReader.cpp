#include "platform/foundation/BinaryPropertyListReader.h"

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace plat {
namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr size_t kTrailerSize = 32;
constexpr const char* kUIDKey = "CF$UID";

// Each object is decoded once and shared wherever it is referenced, so memory follows the file.
// The tree it stands for can still be far larger (arrays naming one another twice over), and
// whoever walks or writes it back pays for every node: that size is capped well above anything a
// real file of that length holds.
constexpr uint64_t kMinTreeSize = uint64_t{1} << 20;

class Reader {
public:
    // An object as decoded once: its value, the levels of containers below it and the number of
    // nodes its tree holds.
    struct Decoded {
        Object value;
        int height = 0;
        uint64_t size = 1;
    };

    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    Object run(std::string& why) {
        Object root;
        if (!readTrailer() || !readOffsets() || !object(top_, 0, root)) {
            why = why_.empty() ? "damaged binary property list" : why_;
            return {};
        }
        return root;
    }

private:
    bool fail(const char* why) {
        if (why_.empty()) why_ = why;
        return false;
    }

    uint8_t byte(size_t at) const { return static_cast<uint8_t>(bytes_[at]); }

    // A big-endian unsigned integer of `size` (1 to 8) bytes; the caller checked the range.
    uint64_t bigEndian(size_t at, size_t size) const {
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value = (value << 8) | byte(at + i);
        return value;
    }

    // Whether `length` bytes at `at` lie inside the object area.
    bool inObjects(size_t at, uint64_t length) const {
        return at >= kMagic.size() && at <= objectsEnd_ && length <= objectsEnd_ - at;
    }

    bool readTrailer() {
        if (bytes_.size() < kMagic.size() + kTrailerSize || bytes_.substr(0, kMagic.size()) != kMagic)
            return fail("not a binary property list of a known version");
        const size_t t = bytes_.size() - kTrailerSize;
        offsetSize_ = byte(t + 6);
        refSize_ = byte(t + 7);
        const uint64_t count = bigEndian(t + 8, 8);
        top_ = bigEndian(t + 16, 8);
        const uint64_t table = bigEndian(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return fail("bad integer sizes in the trailer");
        if (table < kMagic.size() || table > t) return fail("offset table outside the file");
        if (count == 0 || count > (t - table) / offsetSize_) return fail("object count does not fit");
        if (top_ >= count) return fail("top object outside the table");
        objectsEnd_ = static_cast<size_t>(table);
        count_ = static_cast<size_t>(count);
        return true;
    }

    bool readOffsets() {
        offsets_.resize(count_);
        for (size_t i = 0; i < count_; ++i) {
            uint64_t offset = bigEndian(objectsEnd_ + i * offsetSize_, offsetSize_);
            if (offset < kMagic.size() || offset >= objectsEnd_)
                return fail("object offset outside the file");
            offsets_[i] = static_cast<size_t>(offset);
        }
        visiting_.assign(count_, false);
        decoded_.assign(count_, Decoded{});
        maxTreeSize_ = std::max<uint64_t>(kMinTreeSize, bytes_.size());
        return true;
    }

    // The element count after a marker: the low nibble, or for 0xF the integer object that follows.
    // `at` moves past it; the count must leave room for `unit` bytes per element.
    bool count(size_t& at, uint8_t marker, size_t unit, uint64_t& out) {
        out = marker & 0x0F;
        if (out == 0x0F) {
            if (!inObjects(at, 1)) return fail("truncated object");
            const uint8_t intMarker = byte(at);
            if ((intMarker & 0xF0) != 0x10 || (intMarker & 0x0F) > 3) return fail("bad length");
            const size_t size = size_t{1} << (intMarker & 0x0F);
            if (!inObjects(at + 1, size)) return fail("truncated object");
            out = bigEndian(at + 1, size);
            at += 1 + size;
        }
        if (!inObjects(at, 0) || out > (objectsEnd_ - at) / unit) return fail("length beyond the file");
        return true;
    }

    bool reference(size_t at, size_t& index) {
        uint64_t value = bigEndian(at, refSize_);
        if (value >= count_) return fail("reference outside the object table");
        index = static_cast<size_t>(value);
        return true;
    }

    bool text(std::string value, Object& out) {
        if (!PropertyList::isValidText(value)) return fail("text with a NUL or malformed character");
        out = Object(std::move(value));
        return true;
    }

    bool utf16(size_t at, uint64_t units, Object& out) {
        std::string value;
        for (uint64_t i = 0; i < units; ++i) {
            char32_t unit = static_cast<char32_t>(bigEndian(at + 2 * i, 2));
            if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("lone low surrogate");
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                char32_t low = ++i < units ? static_cast<char32_t>(bigEndian(at + 2 * i, 2)) : 0;
                if (low < 0xDC00 || low > 0xDFFF) return fail("lone high surrogate");
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            value += text::utf8Encoded(unit);
        }
        return text(std::move(value), out);
    }

    // The object at `index`, reached `depth` levels below the root.
    bool object(size_t index, int depth, Object& out) {
        Decoded& d = decoded_[index];
        if (d.value.isAbsent()) {
            if (depth > PropertyList::kMaxDepth) return fail("nested too deeply");
            if (!decode(index, depth, d)) return false;
        }
        if (depth + d.height > PropertyList::kMaxDepth) return fail("nested too deeply");
        out = d.value;
        return true;
    }

    bool container(size_t index, size_t at, uint8_t marker, int depth, Decoded& result) {
        const bool isDict = (marker & 0xF0) == 0xD0;
        uint64_t n = 0;
        if (!count(at, marker, refSize_ * (isDict ? 2u : 1u), n)) return false;
        if (visiting_[index]) return fail("reference cycle");
        visiting_[index] = true;
        Object::Array items;
        Object::Dict dict;
        for (uint64_t i = 0; i < n; ++i) {
            size_t valueRef = 0;
            Object value;
            if (!reference(at + (isDict ? n + i : i) * refSize_, valueRef)) return false;
            if (isDict) {
                size_t keyRef = 0;
                Object key;
                if (!reference(at + i * refSize_, keyRef) || !object(keyRef, depth + 1, key)) return false;
                if (!key.isString()) return fail("dictionary key is not text");
                if (!object(valueRef, depth + 1, value)) return false;
                result.size += 1;
                dict.insert_or_assign(key.string(), std::move(value));
            } else {
                if (!object(valueRef, depth + 1, value)) return false;
                items.push_back(std::move(value));
            }
            const Decoded& child = decoded_[valueRef];
            result.height = std::max(result.height, child.height + 1);
            result.size += child.size;
            if (result.size > maxTreeSize_) return fail("too many objects");
        }
        visiting_[index] = false;
        result.value = isDict ? Object(std::move(dict)) : Object(std::move(items));
        return true;
    }

    bool decode(size_t index, int depth, Decoded& result) {
        Object& out = result.value;
        size_t at = offsets_[index];
        const uint8_t marker = byte(at++);
        const uint8_t low = marker & 0x0F;
        uint64_t n = 0;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09) {
                out = Object(marker == 0x09);
                return true;
            }
            return fail("unsupported object (null or fill)");
        case 0x1: {
            // 8-byte integers are signed; the 16-byte form carries values beyond 63 bits, whose low
            // half is kept as every reader of this format does.
            if (low > 4) return fail("bad integer size");
            const size_t size = size_t{1} << low;
            if (!inObjects(at, size)) return fail("truncated integer");
            const size_t kept = std::min<size_t>(size, 8);
            out = Object(static_cast<int64_t>(bigEndian(at + size - kept, kept)));
            return true;
        }
        case 0x2: {
            if (low != 2 && low != 3) return fail("bad real size");
            const size_t size = size_t{1} << low;
            if (!inObjects(at, size)) return fail("truncated real");
            out = Object(size == 4 ? static_cast<double>(floatFrom(static_cast<uint32_t>(bigEndian(at, 4))))
                                   : doubleFrom(bigEndian(at, 8)));
            return true;
        }
        case 0x3: {
            if (marker != 0x33 || !inObjects(at, 8)) return fail("bad date");
            Date date = Date::fromReferenceDate(doubleFrom(bigEndian(at, 8)));
            if (!PropertyList::isValidDate(date)) return fail("date out of range");
            out = Object(date);
            return true;
        }
        case 0x4: {
            if (!count(at, marker, 1, n)) return false;
            const auto* p = reinterpret_cast<const uint8_t*>(bytes_.data() + at);
            out = Object(Data(p, p + n));
            return true;
        }
        case 0x5: {
            if (!count(at, marker, 1, n)) return false;
            std::string value(bytes_.substr(at, n));
            for (unsigned char c : value)
                if (c >= 0x80) return fail("non-ASCII byte in ASCII text");
            return text(std::move(value), out);
        }
        case 0x6:
            return count(at, marker, 2, n) && utf16(at, n, out);
        case 0x8: {
            const size_t size = size_t{low} + 1;
            if (size > 8 || !inObjects(at, size)) return fail("bad reference object");
            out = Object(Object::Dict{{kUIDKey, Object(bigEndian(at, size))}});
            return true;
        }
        case 0xA:
        case 0xD:
            return container(index, at, marker, depth, result);
        default:
            return fail("unsupported object");
        }
    }

    static double doubleFrom(uint64_t bits) {
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    static float floatFrom(uint32_t bits) {
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    std::string_view bytes_;
    size_t offsetSize_ = 0;
    size_t refSize_ = 0;
    size_t count_ = 0;
    uint64_t top_ = 0;
    size_t objectsEnd_ = 0;
    std::vector<size_t> offsets_;
    std::vector<bool> visiting_;
    std::vector<Decoded> decoded_;
    uint64_t maxTreeSize_ = 0;
    std::string why_;
};

} // namespace

Object BinaryPropertyListReader::read(std::string_view bytes, std::string& why) {
    return Reader(bytes).run(why);
}

} // namespace plat
