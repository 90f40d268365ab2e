#include "platform/foundation/DeviceSerial.h"
#include "platform/foundation/Host.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using plat::DeviceSerial;

TEST(DeviceSerial, SourcesAreTriedInOrder) {
    testsupport::TempHome home;
    DeviceSerial::Sources sources;
    sources.productSerial = home.path() / "product_serial";
    sources.machineId = home.path() / "machine-id";
    EXPECT_EQ(DeviceSerial::read(sources), std::nullopt); // nothing readable

    testsupport::writeFile(sources.machineId, "4c4c4544004e3510\n");
    EXPECT_EQ(DeviceSerial::read(sources), "4c4c4544004e3510");

    testsupport::writeFile(sources.productSerial, "To Be Filled By O.E.M.\n");
    EXPECT_EQ(DeviceSerial::read(sources), "4c4c4544004e3510"); // placeholder skipped

    testsupport::writeFile(sources.productSerial, "  PF2ABCDE \n");
    EXPECT_EQ(DeviceSerial::read(sources), "PF2ABCDE");

    sources.environmentValue = "abc";
    EXPECT_EQ(DeviceSerial::read(sources), "abc");
    sources.environmentValue = ""; // a test's way of saying "this machine has no serial"
    EXPECT_EQ(DeviceSerial::read(sources), "");
}

TEST(DeviceSerial, PlaceholdersAreRecognised) {
    for (const char* text : {"", "   ", "0", "00000000", "XXXXXXXX", "Default string", "SYSTEM SERIAL NUMBER",
                             "Not Specified", "None", "N/A"})
        EXPECT_TRUE(DeviceSerial::isPlaceholder(text)) << text;
    for (const char* text : {"PF2ABCDE", "C02XK1ABJGH5", "0000001A"})
        EXPECT_FALSE(DeviceSerial::isPlaceholder(text)) << text;
}

TEST(Host, PrettyNameWinsOverTheNetworkName) {
    testsupport::TempHome home;
    auto info = home.path() / "machine-info";
    auto plain = plat::Host::current(info);
    ASSERT_TRUE(plain.name().has_value());
    EXPECT_EQ(plain.localizedName(), plain.name());

    testsupport::writeFile(info, "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's Laptop\"\n");
    EXPECT_EQ(plat::Host::current(info).localizedName(), "Ada's Laptop");
    testsupport::writeFile(info, "PRETTY_HOSTNAME=\n");
    EXPECT_EQ(plat::Host::current(info).localizedName(), plain.name());
}
