#include "utilities/TULAppEnvironmentUtil.h"

#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/SystemFacts.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> executableImage(uint32_t fileType, uint32_t cryptid) {
    std::vector<uint8_t> bytes;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    };
    for (uint32_t v : {0xfeedfacfu, 0x0100000cu, 0u, fileType, 1u, 24u, 0u, 0u})
        u32(v);
    for (uint32_t v : {0x2cu, 24u, 0u, 0u, cryptid, 0u})
        u32(v);
    return bytes;
}

} // namespace

TEST(TULAppEnvironmentUtil, SystemVersionDropsAZeroPatch) {
    auto& info = plat::ProcessInfo::processInfo();
    info.overrideOperatingSystemVersion(plat::OperatingSystemVersion{10, 15, 0});
    EXPECT_EQ(TULAppEnvironmentUtil::systemVersion(), "10.15");
    info.overrideOperatingSystemVersion(plat::OperatingSystemVersion{14, 2, 1});
    EXPECT_EQ(TULAppEnvironmentUtil::systemVersion(), "14.2.1");
    info.overrideOperatingSystemVersion(std::nullopt);
}

TEST(TULAppEnvironmentUtil, EncryptionAndStoreDecisions) {
    EXPECT_TRUE(IsImageEncrypted(executableImage(2, 1)));
    EXPECT_FALSE(IsImageEncrypted(executableImage(2, 0)));
    EXPECT_FALSE(IsImageEncrypted(executableImage(6, 1))); // a library, not the executable
    // This process runs an ELF executable.
    EXPECT_FALSE(IsAppEncrypted());
    EXPECT_FALSE(TULAppEnvironmentUtil::isFromAppStore());

    // Without encryption nothing is from the store, whatever the receipt.
    EXPECT_FALSE(TULAppEnvironmentUtil::fromAppStore(false, false));
    EXPECT_FALSE(TULAppEnvironmentUtil::fromAppStore(false, true));
    EXPECT_TRUE(TULAppEnvironmentUtil::fromAppStore(true, false));
    EXPECT_FALSE(TULAppEnvironmentUtil::fromAppStore(true, true));

    // A sandbox receipt, unless the Info switch turns the check off.
    const std::string sandbox = "/opt/velmora/receipt/sandboxReceipt";
    EXPECT_TRUE(TULAppEnvironmentUtil::receiptIsSandbox(plat::Object(), sandbox));
    EXPECT_FALSE(TULAppEnvironmentUtil::receiptIsSandbox(plat::Object(false), sandbox));
    EXPECT_TRUE(TULAppEnvironmentUtil::receiptIsSandbox(plat::Object("NO"), sandbox)); // not a number
    EXPECT_FALSE(
        TULAppEnvironmentUtil::receiptIsSandbox(plat::Object(), std::string("/opt/velmora/receipt/receipt")));
    EXPECT_FALSE(TULAppEnvironmentUtil::receiptIsSandbox(plat::Object(), std::nullopt));
}

TEST(TULAppEnvironmentUtil, DeviceModel) {
    // The model is the firmware's when it has one, else the architecture; never empty, one token.
    std::string model = TULAppEnvironmentUtil::deviceModel();
    EXPECT_EQ(model, plat::SystemFacts::hardwareModel().value_or(plat::SystemFacts::machine()));
    EXPECT_FALSE(model.empty());
    EXPECT_EQ(model.find(' '), std::string::npos);
    EXPECT_EQ(TULAppEnvironmentUtil::deviceSimulatorModel(), plat::SystemFacts::hardwareModel());
}
