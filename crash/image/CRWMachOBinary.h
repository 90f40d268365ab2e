// A Mach-O file on disk with one CRWMachOSlice per architecture, and an identifier for the whole
// set of builds it holds. Not for crash time.
#pragma once

#include "crash/image/CRWMachOFile.h"
#include "crash/image/CRWMachOSlice.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CRWMachOBinary {
public:
    // None when the path cannot be mapped or its fat header is damaged.
    static std::shared_ptr<CRWMachOBinary> MachOBinaryWithPath(const std::string& path);
    ~CRWMachOBinary();
    CRWMachOBinary(const CRWMachOBinary&) = delete;
    CRWMachOBinary& operator=(const CRWMachOBinary&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<CRWMachOSlice>& slices() const { return slices_; }
    // SHA-1 (40 lower-case hex digits) of the slices' UUIDs concatenated in architecture-name
    // order; computed once.
    const std::string& instanceIdentifier();
    // Calls visit(uuid, architecture name) per slice in order; slices without UUID pass "".
    void enumerateUUIDs(const std::function<void(const std::string&, const std::string&)>& visit) const;
    // The first slice with that architecture name.
    const CRWMachOSlice* sliceForArchitecture(const std::string& name) const;

    // SHA-1 of the UTF-8 bytes as 40 lower-case hex digits.
    static std::string hashNSString(const std::string& text);

private:
    CRWMachOBinary() = default;
    std::string path_;
    CRWMachOFile file_;
    std::vector<CRWMachOSlice> slices_;
    std::optional<std::string> instanceIdentifier_;
};
