#include "standin/MultipartForm.h"

#include "tests/standin/StandinTestClient.h"

#include <gtest/gtest.h>

using standin::FormFields;
using standin::MultipartForm;
using standintest::applicationFormBody;
using standintest::kBoundary;

TEST(MultipartForm, ReadsTheBoundaryOfTheApplicationsContentType) {
    auto boundary = MultipartForm::boundaryOf(std::string("multipart/form-data; boundary=") + kBoundary);
    ASSERT_TRUE(boundary);
    EXPECT_EQ(*boundary, kBoundary);
    EXPECT_EQ(boundary->size(), 50u);

    EXPECT_EQ(MultipartForm::boundaryOf("Multipart/Form-Data; charset=utf-8; Boundary=\"a b\"; x=1"), "a b");
    EXPECT_EQ(MultipartForm::boundaryOf("multipart/form-data; boundary=abc; charset=utf-8"), "abc");
    EXPECT_FALSE(MultipartForm::boundaryOf("multipart/form-data"));
    EXPECT_FALSE(MultipartForm::boundaryOf("application/json; boundary=abc"));
    EXPECT_FALSE(MultipartForm::boundaryOf("multipart/form-data; boundary="));
}

TEST(MultipartForm, DecodesTheApplicationsBodyInOrder) {
    FormFields sent = {{"email", "user@velmora.example"},
                       {"email_password", "pa ss\"word"},
                       {"uid", "4f6c"},
                       {"device_name", "Ана’s Mac"}};
    auto fields = MultipartForm::parse(kBoundary, applicationFormBody(sent));
    ASSERT_TRUE(fields);
    EXPECT_EQ(*fields, sent);
}

TEST(MultipartForm, EmptyFormAndValuesThatLookLikeDelimiters) {
    auto empty = MultipartForm::parse(kBoundary, applicationFormBody({}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // A value may hold line breaks and dashes as long as it does not hold the delimiter line.
    FormFields tricky = {{"a", "line one\r\nline two\r\n--not-the-boundary"}, {"b", ""}};
    auto fields = MultipartForm::parse(kBoundary, applicationFormBody(tricky));
    ASSERT_TRUE(fields);
    EXPECT_EQ(*fields, tricky);
}

TEST(MultipartForm, AcceptsPreambleAndFilePartsAsCurlSendsThem) {
    std::string body = "preamble\r\n--XyZ\r\n"
                       "Content-Disposition: form-data; name=\"doc\"; filename=\"a.txt\"\r\n"
                       "Content-Type: text/plain\r\n\r\n"
                       "bytes\r\n--XyZ\r\n"
                       "content-disposition: form-data; name=plain\r\n\r\n"
                       "v\r\n--XyZ--\r\n";
    auto fields = MultipartForm::parse("XyZ", body);
    ASSERT_TRUE(fields);
    EXPECT_EQ(*fields, (FormFields{{"doc", "bytes"}, {"plain", "v"}}));
}

TEST(MultipartForm, RejectsMalformedBodies) {
    std::string good = applicationFormBody({{"email", "x"}});
    // No closing delimiter.
    EXPECT_FALSE(MultipartForm::parse(kBoundary, good.substr(0, good.rfind("--\r\n"))));
    // Cut inside a part.
    EXPECT_FALSE(MultipartForm::parse(kBoundary, good.substr(0, 70)));
    // Another boundary.
    EXPECT_FALSE(MultipartForm::parse("other", good));
    // A part without a name.
    std::string nameless = std::string("--") + kBoundary +
                           "\r\nContent-Disposition: form-data\r\n\r\nv\r\n--" + kBoundary + "--\r\n";
    EXPECT_FALSE(MultipartForm::parse(kBoundary, nameless));
    EXPECT_FALSE(MultipartForm::parse(kBoundary, ""));
}
