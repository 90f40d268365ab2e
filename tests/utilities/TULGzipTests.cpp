#include "utilities/TULGzip.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <zlib.h>

namespace {

// Larger than anything these tests inflate.
constexpr size_t kLimit = size_t{1} << 24;

plat::Data sampleText(size_t size) {
    plat::Data out;
    const std::string words = "heartbeat agent date version period ";
    while (out.size() < size)
        out.push_back(static_cast<uint8_t>(words[out.size() % words.size()]));
    return out;
}

plat::Data randomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    plat::Data out(size);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

std::string hex(const plat::Data& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

plat::Data fromHex(const std::string& text) {
    plat::Data out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

int64_t zlibStatus(const plat::Error& e) {
    return e.userInfo.at(TULNSDataZlibErrorKey).number().int64Value();
}

} // namespace

TEST(TULGzip, EmptyInputAnswersNothingAndLeavesTheErrorAlone) {
    plat::Error error("untouched", 7);
    EXPECT_FALSE(TULGzip::tul_dataByGzippingData(plat::Data{}, &error));
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(plat::Data{}, kLimit, &error));
    EXPECT_EQ(error.domain, "untouched");
    EXPECT_EQ(error.code, 7);
}

TEST(TULGzip, OversizedInputIsAnErrorWhenCompressingAndSilentWhenInflating) {
    // The length is checked before any byte is read, so one real byte stands for a huge buffer.
    uint8_t byte = 0;
    size_t huge = size_t(UINT32_MAX) + 1;
    plat::Error error;
    EXPECT_FALSE(TULGzip::tul_dataByGzippingData(&byte, huge, &error));
    EXPECT_EQ(error.domain, TULNSDataZlibErrorDomain);
    EXPECT_EQ(error.code, TULNSDataZlibErrorGreaterThan32BitsToCompress);
    EXPECT_TRUE(error.userInfo.empty());

    plat::Error untouched("none", 0);
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(&byte, huge, kLimit, &untouched));
    EXPECT_EQ(untouched.domain, "none");
}

TEST(TULGzip, RoundTripsTextAndIncompressibleBytesAcrossManyWindows) {
    for (size_t size : {size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(200000)}) {
        for (const plat::Data& input : {sampleText(size), randomBytes(size, unsigned(size))}) {
            plat::Error error;
            auto zipped = TULGzip::tul_dataByGzippingData(input, &error);
            ASSERT_TRUE(zipped) << size;
            ASSERT_GE(zipped->size(), 2u);
            EXPECT_EQ((*zipped)[0], 0x1f);
            EXPECT_EQ((*zipped)[1], 0x8b);
            auto back = TULGzip::tul_dataByInflatingGzippedData(*zipped, kLimit, &error);
            ASSERT_TRUE(back) << size;
            EXPECT_EQ(*back, input);
        }
    }
}

TEST(TULGzip, InflationStopsAtTheCallersLimit) {
    // A gzip stream of 1 GiB of zeros, built a megabyte at a time: about 1 MB on the wire.
    plat::Data bomb;
    {
        z_stream stream{};
        ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
        std::vector<Bytef> zeros(1 << 20, 0), out(1 << 16);
        for (int chunk = 0; chunk < 1024; ++chunk) {
            stream.next_in = zeros.data();
            stream.avail_in = static_cast<uInt>(zeros.size());
            int flush = chunk == 1023 ? Z_FINISH : Z_NO_FLUSH;
            int status;
            do {
                stream.next_out = out.data();
                stream.avail_out = static_cast<uInt>(out.size());
                status = deflate(&stream, flush);
                bomb.insert(bomb.end(), out.data(), out.data() + (out.size() - stream.avail_out));
            } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        }
        deflateEnd(&stream);
    }
    ASSERT_LT(bomb.size(), 1200000u);
    plat::Error error;
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(bomb, 1 << 20, &error));
    EXPECT_EQ(error.domain, TULNSDataZlibErrorDomain);
    EXPECT_EQ(error.code, TULNSDataZlibErrorOutputLimitExceeded);
    EXPECT_EQ(error.userInfo.at(TULNSDataZlibOutputLimitKey), plat::Object(uint64_t{1} << 20));

    // The limit itself is allowed; one byte over is not.
    const plat::Data text = sampleText(5000);
    auto zipped = TULGzip::tul_dataByGzippingData(text);
    ASSERT_TRUE(zipped);
    EXPECT_EQ(TULGzip::tul_dataByInflatingGzippedData(*zipped, 5000), text);
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(*zipped, 4999, &error));
    EXPECT_EQ(error.code, TULNSDataZlibErrorOutputLimitExceeded);
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(*zipped, 0));
}

TEST(TULGzip, TrailingBytesAfterTheStreamAreCounted) {
    auto zipped = TULGzip::tul_dataByGzippingData(sampleText(5000));
    ASSERT_TRUE(zipped);
    zipped->insert(zipped->end(), {'x', 'y', 'z'});
    plat::Error error;
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(*zipped, kLimit, &error));
    EXPECT_EQ(error.code, TULNSDataZlibErrorDataRemaining);
    const auto& remaining = error.userInfo.at(TULNSDataZlibRemainingBytesKey).number();
    EXPECT_EQ(remaining.type(), plat::Number::Type::UInt32);
    EXPECT_EQ(remaining.uint32Value(), 3u);
}

TEST(TULGzip, TruncatedAndGarbageStreamsFailWithZlibStatus) {
    auto zipped = TULGzip::tul_dataByGzippingData(randomBytes(4000, 1));
    ASSERT_TRUE(zipped);
    for (size_t cut : {size_t(5), zipped->size() / 2, zipped->size() - 1}) {
        plat::Data truncated(zipped->begin(), zipped->begin() + long(cut));
        plat::Error error;
        EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(truncated, kLimit, &error)) << cut;
        EXPECT_EQ(error.code, TULNSDataZlibErrorInternal) << cut;
        EXPECT_EQ(zlibStatus(error), -5) << cut; // Z_BUF_ERROR: the input ran out mid-stream
    }

    plat::Error error;
    EXPECT_FALSE(TULGzip::tul_dataByInflatingGzippedData(plat::toData("this is not compressed at all"),
                                                         kLimit, &error));
    EXPECT_EQ(error.code, TULNSDataZlibErrorInternal);
    EXPECT_EQ(zlibStatus(error), -3); // Z_DATA_ERROR
    EXPECT_FALSE(error.localizedDescription().empty());
    EXPECT_TRUE(error.userInfo.count(plat::kLocalizedDescriptionKey));
}

TEST(TULGzip, InteroperatesWithTheGzipTool) {
    testsupport::TempHome home;
    plat::Data input = sampleText(70000);
    input.push_back(0);
    input.push_back(0xff);

    auto zipped = TULGzip::tul_dataByGzippingData(input);
    ASSERT_TRUE(zipped);
    auto ours = home.path() / "ours.gz";
    testsupport::writeFile(ours, plat::toString(*zipped));
    int status = -1;
    std::string unpacked = testsupport::runCommand("gzip -dc '" + ours.string() + "'", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(plat::toData(unpacked), input);

    auto plain = home.path() / "plain.bin";
    testsupport::writeFile(plain, plat::toString(input));
    std::string theirs = testsupport::runCommand("gzip -9nc '" + plain.string() + "'", &status);
    ASSERT_EQ(status, 0);
    auto back = TULGzip::tul_dataByInflatingGzippedData(plat::toData(theirs), kLimit);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, input);
}

TEST(TULGzip, InteroperatesWithPythonZlib) {
    plat::Data input = randomBytes(3000, 42);
    auto zipped = TULGzip::tul_dataByGzippingData(input);
    ASSERT_TRUE(zipped);
    int status = -1;
    std::string script = "import zlib,sys; d=bytes.fromhex(sys.argv[1]); print(zlib.decompress(d, 31).hex())";
    std::string out = testsupport::runCommand("python3 -c '" + script + "' " + hex(*zipped), &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(fromHex(out), input);

    // Python's zlib format (no gzip header) and its gzip format both inflate here.
    for (const char* maker : {"zlib.compress(d)", "gzip.compress(d)"}) {
        std::string make =
            std::string("import zlib,gzip,sys; d=bytes.fromhex(sys.argv[1]); print(") + maker + ".hex())";
        std::string compressed = testsupport::runCommand("python3 -c '" + make + "' " + hex(input), &status);
        ASSERT_EQ(status, 0) << maker;
        auto back = TULGzip::tul_dataByInflatingGzippedData(fromHex(compressed), kLimit);
        ASSERT_TRUE(back) << maker;
        EXPECT_EQ(*back, input) << maker;
    }
}
