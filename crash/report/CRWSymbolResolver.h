// Symbolication of addresses from a crashed run in the current process: the crashed run's image list
// ("binary_images.crwrecord") places each address in an image, the image is matched by its
// identifier (the build-id) to the same file loaded now, and the address, moved into this process,
// is looked up in the linker's and the image file's symbol tables. Made per processed report; used
// from one thread.
#pragma once

#include "crash/image/CRWBinaryImage.h"
#include "crash/report/CRWRecordFileReader.h"
#include "crash/report/TSRStackFrame.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// Whether a frame's address is a return address (every frame but the first, usually) or exact:
// where the thread stood (the first frame, and the frame a signal interrupted).
enum class CRWFramePC { ReturnAddress, Exact };

class CRWSymbolResolver {
public:
    // One "load" record of the image list.
    struct BinaryImage {
        uint64_t base = 0;
        uint64_t size = 0;
        std::string uuid;
        std::string path;
    };

    // Reads the "load" records that carry a numeric "base" and "size", sorted by base. False (after
    // logging "Failed to read binary image file %@") when the file holds no section at all, or for an
    // empty path.
    bool loadBinaryImagesFromFile(const std::string& path);
    const std::vector<BinaryImage>& binaryImages() const { return binaryImages_; }
    // How the image list read (for the report's marks).
    const CRWRecordFileContents& binaryImageContents() const { return contents_; }

    // The first image whose range holds the address; none when no image does.
    const BinaryImage* loadedBinaryImageForPC(uint64_t address) const;
    // The image loaded now whose identifier is `uuid`; false for an empty one or no match.
    static bool fillInImageDetails(CRWBinaryImageDetails* details, const std::string& uuid);

    // Fills symbol, raw symbol, offset and library of the frame at its address; false (the frame
    // unchanged) when the address is 0, lies in no listed image, its image is not loaded now with the
    // same identifier, or the linker knows nothing there. A return address belongs to the call
    // before it: one at the very start of a function, or in no function at all (just past the end of
    // one whose last instruction was the call), is looked up 2 bytes lower; an exact one is named
    // where it is. The C library's signal return is named kSignalTrampolineName.
    bool updateStackFrame(TSRStackFrame& frame, CRWFramePC kind = CRWFramePC::ReturnAddress);
    static constexpr const char* kSignalTrampolineName = "<signal handler called>";
    // A new frame resolved at `address`; none when resolution fails.
    std::optional<TSRStackFrame> frameForAddress(uint64_t address);

private:
    // The image loaded now for an identifier, looked up once per identifier.
    const std::optional<CRWBinaryImageDetails>& currentImage(const std::string& uuid);

    std::vector<BinaryImage> binaryImages_;
    CRWRecordFileContents contents_;
    std::map<std::string, std::optional<CRWBinaryImageDetails>> currentImages_;
};
