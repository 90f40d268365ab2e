#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedArchiverLayout.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/PropertyList.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plat;

namespace {

struct Token final : SecureCoding {
    static constexpr const char* kClassName = "TSRToken";
    std::string value;
    int64_t expiry = 0;
    std::string className() const override { return kClassName; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeObject(Object(value), "value");
        coder.encodeInt64(expiry, "expiry");
    }
    static std::shared_ptr<Token> initWithCoder(KeyedUnarchiver& coder) {
        Object value = coder.decodeObjectForKey("value");
        if (!value.isString()) return nullptr;
        auto token = std::make_shared<Token>();
        token->value = value.string();
        token->expiry = coder.decodeInt64ForKey("expiry");
        return token;
    }
};

struct Record final : SecureCoding {
    static constexpr const char* kClassName = "TSRRecord";
    Object attributes;
    std::shared_ptr<const Token> token;
    bool registered = false;
    std::string className() const override { return kClassName; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeObject(attributes, "attributes");
        coder.encodeObject(token, "token");
        coder.encodeBool(registered, "registered");
    }
    static std::shared_ptr<Record> initWithCoder(KeyedUnarchiver& coder) {
        auto record = std::make_shared<Record>();
        record->attributes = coder.decodeObjectForKey("attributes");
        record->token = coder.decodeObjectOfClass<Token>("token");
        record->registered = coder.decodeBoolForKey("registered");
        return coder.error() ? nullptr : record;
    }
};

// Records itself as its own field: a graph without end.
struct Loop final : SecureCoding {
    std::string className() const override { return "Loop"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeObject(std::shared_ptr<const SecureCoding>(std::shared_ptr<const SecureCoding>{}, this),
                           "self");
    }
};

Record sampleRecord() {
    Record record;
    record.attributes = Object(
        Object::Dict{{"fid", Object("cXyZ")},
                     {"numbers", Object(Object::Array{Object(1), Object(-2), Object(2.5), Object(true)})},
                     {"blob", Object(Data{0, 1, 2, 255})},
                     {"when", Object(Date::fromReferenceDate(123456.5))},
                     {"nothing", Object::null()}});
    auto token = std::make_shared<Token>();
    token->value = "secret-token";
    token->expiry = 1700000000;
    record.token = token;
    record.registered = true;
    return record;
}

Data archiveOf(Object root) {
    using namespace keyedarchive;
    auto bytes = PropertyList::toBinary(root);
    EXPECT_TRUE(bytes);
    return toData(bytes.value_or(""));
}

Object archiveLayout(Object::Array objects, uint64_t root = 1) {
    using namespace keyedarchive;
    return Object(Object::Dict{{kArchiverKey, Object(kArchiverName)},
                               {kVersionKey, Object(kVersion)},
                               {kTopKey, Object(Object::Dict{{kRootKey, uid(root)}})},
                               {kObjectsKey, Object(std::move(objects))}});
}

} // namespace

TEST(KeyedArchiver, RoundTripsObjectsWithNestedObjectsAndPlainValues) {
    Record record = sampleRecord();
    Error error;
    auto data = KeyedArchiver::archivedDataWithRootObject(record, true, &error);
    ASSERT_TRUE(data) << error.localizedDescription();
    EXPECT_EQ(std::string(data->begin(), data->begin() + 8), "bplist00");

    auto back = KeyedUnarchiver::unarchivedObjectOfClass<Record>(*data, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    EXPECT_EQ(back->attributes, record.attributes);
    ASSERT_TRUE(back->token);
    EXPECT_EQ(back->token->value, "secret-token");
    EXPECT_EQ(back->token->expiry, 1700000000);
    EXPECT_TRUE(back->registered);

    Object plain(Object::Array{Object("a"), Object(Object::Dict{{"k", Object(3)}})});
    auto plainData = KeyedArchiver::archivedDataWithRootObject(plain, true);
    ASSERT_TRUE(plainData);
    EXPECT_EQ(KeyedUnarchiver::unarchivedPlainObject(*plainData), plain);
}

TEST(KeyedArchiver, ToolsReadTheArchiveLayout) {
    testsupport::TempHome home;
    auto data = KeyedArchiver::archivedDataWithRootObject(sampleRecord(), true);
    ASSERT_TRUE(data);
    auto file = home.path() / "record.archive";
    testsupport::writeFile(file, toString(*data));
    int status = -1;
    std::string xml = testsupport::runCommand("plistutil -i '" + file.string() + "' -f xml", &status);
    ASSERT_EQ(status, 0);
    for (const char* expected : {"<key>$archiver</key>", "<string>NSKeyedArchiver</string>",
                                 "<key>$top</key>", "<string>TSRRecord</string>", "<string>TSRToken</string>",
                                 "<string>secret-token</string>", "<key>CF$UID</key>"})
        EXPECT_NE(xml.find(expected), std::string::npos) << expected;

    std::string script =
        "import plistlib,sys; a=plistlib.load(open(sys.argv[1],\"rb\")); o=a[\"$objects\"]; "
        "r=o[a[\"$top\"][\"root\"].data]; print(o[r[\"$class\"].data][\"$classname\"], a[\"$version\"])";
    std::string out = testsupport::runCommand("python3 -c '" + script + "' '" + file.string() + "'", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out, "TSRRecord 100000\n");
}

TEST(KeyedArchiver, WrongClassIsAnError) {
    auto data = KeyedArchiver::archivedDataWithRootObject(sampleRecord(), true);
    ASSERT_TRUE(data);
    Error error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<Token>(*data, &error));
    EXPECT_EQ(error.domain, KeyedArchiver::kErrorDomain);
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);
    EXPECT_NE(error.localizedDescription().find("unexpected class 'TSRRecord'"), std::string::npos);

    // A plain read of an archived object refuses the unknown class too.
    error = Error();
    EXPECT_TRUE(KeyedUnarchiver::unarchivedPlainObject(*data, &error).isAbsent());
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);
}

TEST(KeyedArchiver, DamagedAndHostileArchivesFailCleanly) {
    using namespace keyedarchive;
    Error error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<Token>(toData("not a plist"), &error));
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<Token>(
        archiveOf(Object(Object::Dict{{"a", Object(1)}})), &error));
    // A binary list whose UTF-16 key holds U+0000 (the library it once went to aborted on it).
    error = Error();
    EXPECT_TRUE(
        KeyedUnarchiver::unarchivedPlainObject(toData(testsupport::nulKeyPropertyList()), &error).isAbsent());
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);

    Object arrayClass(Object::Dict{{kClassNameKey, Object("NSArray")},
                                   {kClassesKey, Object(Object::Array{Object("NSArray")})}});
    // An array that contains itself.
    Data cyclic = archiveOf(archiveLayout(
        {Object(kNullEntry),
         Object(Object::Dict{{"NS.objects", Object(Object::Array{uid(1)})}, {kClassKey, uid(2)}}),
         arrayClass}));
    error = Error();
    EXPECT_TRUE(KeyedUnarchiver::unarchivedPlainObject(cyclic, &error).isAbsent());
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);

    // An array referring to itself twice would double at every level without a budget.
    Data doubling = archiveOf(archiveLayout(
        {Object(kNullEntry),
         Object(Object::Dict{{"NS.objects", Object(Object::Array{uid(1), uid(1)})}, {kClassKey, uid(2)}}),
         arrayClass}));
    EXPECT_TRUE(KeyedUnarchiver::unarchivedPlainObject(doubling, &error).isAbsent());

    // References outside the object table.
    Data outside = archiveOf(archiveLayout({Object(kNullEntry), Object("x")}, 99));
    error = Error();
    EXPECT_TRUE(KeyedUnarchiver::unarchivedPlainObject(outside, &error).isAbsent());
    EXPECT_EQ(error.code, KeyedArchiver::kReadCorruptError);

    // Archiving a graph without end fails instead of recursing forever.
    Loop loop;
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(loop, true, &error));
    EXPECT_EQ(error.code, KeyedArchiver::kInvalidValueError);
    // Opaque values cannot be archived.
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(
        Object(Opaque::make<int>(std::make_shared<const int>(1), "int")), true, &error));
    EXPECT_EQ(error.code, KeyedArchiver::kInvalidValueError);
}
