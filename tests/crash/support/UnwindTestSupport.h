// Test helpers for the unwinder: a byte builder for eh_frame records and expressions, a memory
// reader limited to one buffer (so tests can make reads fail), and a region mapped low enough in
// the address space for arm64's 36-bit pointers.
#pragma once

#include "crash/unwind/CRWMemoryReader.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <sys/mman.h>

namespace crashtest {

class ByteBuilder {
public:
    ByteBuilder& u8(uint8_t v) { return raw(&v, 1); }
    ByteBuilder& u16(uint16_t v) { return raw(&v, 2); }
    ByteBuilder& u32(uint32_t v) { return raw(&v, 4); }
    ByteBuilder& u64(uint64_t v) { return raw(&v, 8); }
    ByteBuilder& bytes(std::initializer_list<uint8_t> list) {
        for (uint8_t b : list)
            u8(b);
        return *this;
    }
    ByteBuilder& uleb(uint64_t v) {
        do {
            uint8_t b = v & 0x7F;
            v >>= 7;
            u8(v ? b | 0x80 : b);
        } while (v);
        return *this;
    }
    ByteBuilder& sleb(int64_t v) {
        for (;;) {
            uint8_t b = v & 0x7F;
            v >>= 7;
            if ((v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40))) return u8(b);
            u8(b | 0x80);
        }
    }
    ByteBuilder& string(const char* s) { return raw(s, std::strlen(s) + 1); }
    // Byte by byte: g++ 12's overflow check misjudges a range insert into a vector it has just
    // seen grow from empty, and warns in the optimised build.
    ByteBuilder& raw(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        for (size_t i = 0; i < n; ++i)
            data.push_back(b[i]);
        return *this;
    }
    size_t size() const { return data.size(); }
    // Writes a 32-bit value at an offset already emitted.
    void patch32(size_t offset, uint32_t v) { std::memcpy(&data[offset], &v, 4); }

    std::vector<uint8_t> data;
};

// A reader that serves only [base, base + size); everything else fails.
struct BufferReader {
    uint64_t base = 0;
    uint64_t size = 0;
    CRWMemoryReader reader() {
        return CRWMemoryReader{[](void* context, uint64_t address, void* out, size_t length) {
                                   auto* self = static_cast<BufferReader*>(context);
                                   if (address < self->base || address - self->base > self->size ||
                                       self->size - (address - self->base) < length)
                                       return false;
                                   std::memcpy(out, reinterpret_cast<const void*>(address), length);
                                   return true;
                               },
                               this};
    }
};

// Anonymous memory below 2^36 (arm64 register values are masked to 36 bits), or null when the
// kernel will not place it there.
class LowMapping {
public:
    explicit LowMapping(size_t size) : size_(size) {
        for (uint64_t hint = 0x40000000; hint < 0x800000000 && base_ == nullptr; hint += 0x10000000) {
            void* p = mmap(reinterpret_cast<void*>(hint), size, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
            if (p != MAP_FAILED) base_ = static_cast<uint8_t*>(p);
        }
    }
    ~LowMapping() {
        if (base_) munmap(base_, size_);
    }
    LowMapping(const LowMapping&) = delete;
    LowMapping& operator=(const LowMapping&) = delete;
    uint8_t* data() const { return base_; }
    size_t size() const { return size_; }
    uint64_t address() const { return reinterpret_cast<uintptr_t>(base_); }

private:
    uint8_t* base_ = nullptr;
    size_t size_;
};

} // namespace crashtest
