// The keychain statuses: the case table, the conversions, the bridged error and the printed line.
#include "keychain/Keychain.h"
#include "keychain/Status.h"
#include "platform/log/OSLog.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

using keychain::Keychain;
using keychain::Status;

namespace {

// Captures console lines for the lifetime of the object.
struct ConsoleCapture {
    std::vector<std::string> lines;
    ConsoleCapture() {
        plat::setConsoleSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~ConsoleCapture() { plat::setConsoleSink(nullptr); }
};

TEST(StatusTest, CasesAreUniqueAndInDeclarationOrder) {
    const auto& cases = Status::allCases();
    ASSERT_EQ(cases.size(), 403u);
    EXPECT_EQ(cases.front(), Status(Status::success));
    EXPECT_EQ(cases[1], Status(Status::unimplemented));
    EXPECT_EQ(cases[56], Status(Status::invalidCertificate)); // -26265 comes before -26267 and -26275
    EXPECT_EQ(cases.back(), Status(Status::unexpectedError));
    std::set<int32_t> codes;
    std::set<std::string> texts;
    for (const auto& s : cases) {
        codes.insert(s.rawValue());
        texts.insert(s.description());
        EXPECT_EQ(Status::fromRawValue(s.rawValue()), s);
    }
    EXPECT_EQ(codes.size(), 403u);
    EXPECT_EQ(texts.size(), 403u) << "every case has its own sentence";
}

TEST(StatusTest, MessagesOfTheCodesTheStoreMeets) {
    struct Row {
        Status::Code code;
        int32_t raw;
        const char* text;
    };
    for (const auto& r : std::vector<Row>{
             {Status::success, 0, "No error."},
             {Status::unimplemented, -4, "Function or operation not implemented."},
             {Status::io, -36, "I/O error (bummers)"},
             {Status::opWr, -49, "file already open with with write permission"},
             {Status::param, -50, "One or more parameters passed to a function were not valid."},
             {Status::allocate, -108, "Failed to allocate memory."},
             {Status::userCanceled, -128, "User canceled the operation."},
             {Status::internalComponent, -2070, ""},
             {Status::notAvailable, -25291,
              "No keychain is available. You may need to restart your computer."},
             {Status::readOnly, -25292, "This keychain cannot be modified."},
             {Status::authFailed, -25293, "The user name or passphrase you entered is not correct."},
             {Status::noSuchKeychain, -25294, "The specified keychain could not be found."},
             {Status::duplicateItem, -25299, "The specified item already exists in the keychain."},
             {Status::itemNotFound, -25300, "The specified item could not be found in the keychain."},
             {Status::interactionNotAllowed, -25308, "User interaction is not allowed."},
             {Status::decode, -26275, "Unable to decode the provided data."},
             {Status::missingEntitlement, -34018,
              "Internal error when a required entitlement isn't present, client has neither "
              "application-identifier "
              "nor keychain-access-groups entitlements."},
             {Status::conversionError, -67594, "A conversion error has occurred."},
             {Status::unexpectedError, -99999, "Unexpected error has occurred."},
         }) {
        Status s(r.code);
        EXPECT_EQ(s.rawValue(), r.raw);
        EXPECT_EQ(s.description(), r.text) << r.raw;
        plat::Error e = s.error();
        EXPECT_EQ(e.domain, "io.velmora.keychain.error");
        EXPECT_EQ(e.code, r.raw);
        EXPECT_EQ(e.localizedDescription(), r.text);
        EXPECT_STREQ(s.what(), r.text);
    }
    EXPECT_EQ(Status::errorDomain(), keychain::KeychainErrorDomain);
}

TEST(StatusTest, UnknownCodesBecomeUnexpectedError) {
    EXPECT_EQ(Status::fromRawValue(-25300), Status(Status::itemNotFound));
    EXPECT_FALSE(Status::fromRawValue(1));
    EXPECT_FALSE(Status::fromRawValue(-25301 + 100000));
    EXPECT_EQ(Status::fromStatus(1), Status(Status::unexpectedError));
    EXPECT_EQ(Status::fromStatus(-25300), Status(Status::itemNotFound));
    EXPECT_EQ(std::hash<Status>()(Status::fromStatus(-50)), std::hash<Status>()(Status(Status::param)));
    std::unordered_set<Status> set{Status::param, Status::fromStatus(-50), Status::io};
    EXPECT_EQ(set.size(), 2u);
}

TEST(StatusTest, SecurityErrorPrintsOneLineUnlessCanceled) {
    struct Case {
        int32_t status;
        Status expected;
        std::vector<std::string> lines;
    };
    for (const auto& c : std::vector<Case>{
             {-128, Status::userCanceled, {}},
             {-50,
              Status::param,
              {"OSStatus error:[-50] One or more parameters passed to a function were not valid."}},
             {-25308,
              Status::interactionNotAllowed,
              {"OSStatus error:[-25308] User interaction is not allowed."}},
             {12345, Status::unexpectedError, {"OSStatus error:[-99999] Unexpected error has occurred."}},
             {-2070, Status::internalComponent, {"OSStatus error:[-2070] "}},
         }) {
        ConsoleCapture console;
        EXPECT_EQ(Keychain::securityError(c.status), c.expected) << c.status;
        EXPECT_EQ(console.lines, c.lines) << c.status;
    }
}

} // namespace
