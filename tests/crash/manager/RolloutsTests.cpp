// Rollout records and the rollouts manager: caps, shortening, hex encoding and both JSON forms,
// and the encoded forms read back.
#include "crash/manager/CrashwatchRemoteFlagsManager.h"
#include "crash/manager/EncodedRolloutsState.h"
#include "platform/foundation/JSONSerialization.h"

#include <gtest/gtest.h>

namespace {

class RecordingPersistence : public CrashwatchRolloutsPersistence {
public:
    void updateRolloutsStateToPersistenceWithRollouts(const plat::Data& rollouts,
                                                      const std::string& reportID) override {
        documents.push_back(plat::toString(rollouts));
        reportIDs.push_back(reportID);
    }
    void debugLogWithMessage(const std::string& message) override { messages.push_back(message); }
    std::vector<std::string> documents;
    std::vector<std::string> reportIDs;
    std::vector<std::string> messages;
};

std::vector<std::shared_ptr<RolloutAssignment>> assignments(size_t count, const std::string& value = "v") {
    std::vector<std::shared_ptr<RolloutAssignment>> list;
    for (size_t i = 0; i < count; ++i)
        list.push_back(std::make_shared<RolloutAssignment>("r" + std::to_string(i), "a", 7, "k", value));
    return list;
}

TEST(RolloutsTest, StatesKeepEachObjectOnceAndEqualObjectsTwice) {
    EXPECT_TRUE(RolloutsState({}).assignments().empty());
    auto one = std::make_shared<RolloutAssignment>("r", "v", 1, "k", "x");
    auto twin = std::make_shared<RolloutAssignment>("r", "v", 1, "k", "x");
    RolloutsState state({one, twin, one});
    EXPECT_EQ(state.assignments().size(), 2u);
    EXPECT_STREQ(RemoteFlagsConstants::NamespaceTesseraMobilePlatform, "tessera");
}

TEST(RolloutsTest, CapsTheListAndShortensLongValuesInPlace) {
    auto persistence = std::make_shared<RecordingPersistence>();
    CrashwatchRemoteFlagsManager manager(nullptr, persistence);
    manager.updateRolloutsState(RolloutsState(assignments(128)), "run-1");
    EXPECT_TRUE(persistence->messages.empty());
    manager.updateRolloutsState(RolloutsState(assignments(200)), "run-1");
    EXPECT_EQ(manager.rolloutAssignment().size(), 128u);
    ASSERT_EQ(persistence->messages.size(), 1u);
    EXPECT_EQ(persistence->messages[0],
              "Rollouts excess the maximum number of assignments can pass to Crashwatch");

    auto longValue = assignments(1, std::string(300, 'x'));
    auto exact = std::make_shared<RolloutAssignment>("r", "v", 1, "k", std::string(256, 'y'));
    // Four-byte characters count two code units each: 200 of them are cut to 128.
    std::string emoji;
    for (int i = 0; i < 300; ++i)
        emoji += "\xF0\x9F\x98\x80";
    auto wide = std::make_shared<RolloutAssignment>("r", "v", 1, "k", emoji);
    manager.updateRolloutsState(RolloutsState({longValue[0], exact, wide}), "run-2");
    EXPECT_EQ(longValue[0]->parameterValue.size(), 256u) << "the caller's object is shortened too";
    EXPECT_EQ(exact->parameterValue.size(), 256u);
    EXPECT_EQ(wide->parameterValue.size(), 128u * 4);
    EXPECT_EQ(FileUtility::stringToHexConverter(longValue[0]->parameterValue).size(), 512u);
}

TEST(RolloutsTest, WritesHexStringsInTheStateDocumentAndTheAssignmentsString) {
    EXPECT_EQ(FileUtility::stringToHexConverter(""), "");
    EXPECT_EQ(FileUtility::stringToHexConverter("abc"), "616263");
    EXPECT_EQ(FileUtility::stringToHexConverter("\xC3\xA9"), "c3a9");

    auto persistence = std::make_shared<RecordingPersistence>();
    CrashwatchRemoteFlagsManager manager(nullptr, persistence);
    EXPECT_EQ(manager.getRolloutAssignmentsEncodedJsonString(), "[]");
    manager.updateRolloutsState(RolloutsState({}), "run-0");
    ASSERT_EQ(persistence->documents.size(), 1u);
    EXPECT_EQ(persistence->documents[0], R"({"rollouts":[]})");

    auto assignment = std::make_shared<RolloutAssignment>("ro", "va", 12, "\xC3\xA9", "on");
    manager.updateRolloutsState(RolloutsState({assignment}), "run-3");
    EXPECT_EQ(persistence->reportIDs.back(), "run-3");
    plat::Object document = plat::JSONSerialization::jsonObject(persistence->documents.back());
    const plat::Object& first = document["rollouts"].at(0);
    EXPECT_EQ(first["rollout_id"].string(), "726f");
    EXPECT_EQ(first["variant_id"].string(), "7661");
    EXPECT_EQ(first["template_version"].number().int64Value(), 12);
    EXPECT_EQ(first["parameter_key"].string(), "c3a9");
    EXPECT_EQ(first["parameter_value"].string(), "6f6e");
    EXPECT_EQ(
        manager.getRolloutAssignmentsEncodedJsonString(),
        R"([{"parameter_key":"c3a9","parameter_value":"6f6e","rollout_id":"726f","template_version":12,"variant_id":"7661"}])");
}

TEST(RolloutsTest, TheStateDocumentReadsBackAsItWasWritten) {
    auto persistence = std::make_shared<RecordingPersistence>();
    CrashwatchRemoteFlagsManager manager(nullptr, persistence);
    auto first = std::make_shared<RolloutAssignment>("ro", "va", -3, "\xC3\xA9", "on");
    auto second = std::make_shared<RolloutAssignment>("r2", "", INT64_MAX, "k", std::string(300, 'x'));
    manager.updateRolloutsState(RolloutsState({first, second}), "run-4");
    ASSERT_EQ(persistence->documents.size(), 1u);

    std::optional<EncodedRolloutsState> read = EncodedRolloutsState::fromJSON(persistence->documents[0]);
    ASSERT_TRUE(read.has_value()) << persistence->documents[0];
    const EncodedRolloutsState expected(
        {EncodedRolloutAssignment(*first), EncodedRolloutAssignment(*second)});
    EXPECT_EQ(*read, expected) << "in list order, the shortened value included";
    EXPECT_EQ(read->rollouts[0].parameterKey, "c3a9");
    EXPECT_EQ(read->rollouts[1].templateVersion, INT64_MAX);
    EXPECT_EQ(read->rollouts[1].parameterValue.size(), 512u);
    ASSERT_TRUE(expected.jsonData().has_value());
    EXPECT_EQ(plat::toString(*expected.jsonData()), persistence->documents[0]) << "encoding is stable";

    // The assignments string is the bare array of the same records.
    const auto list = plat::JSONDecoder().decode<std::vector<EncodedRolloutAssignment>>(
        *manager.getRolloutAssignmentsEncodedJsonString());
    EXPECT_EQ(list, expected.rollouts);
    EXPECT_EQ(EncodedRolloutsState::fromJSON(R"({"rollouts":[]})"), EncodedRolloutsState({}));
}

TEST(RolloutsTest, DecodingNeedsEveryKeyWithAValueOfItsType) {
    const plat::Object::Dict whole{{"rollout_id", "726f"},
                                   {"variant_id", "7661"},
                                   {"template_version", int64_t{12}},
                                   {"parameter_key", "6b"},
                                   {"parameter_value", "6f6e"}};
    auto document = [](const plat::Object& assignment) {
        return *plat::JSONSerialization::data(
            plat::Object(plat::Object::Dict{{"rollouts", plat::Object(plat::Object::Array{assignment})}}));
    };
    ASSERT_TRUE(EncodedRolloutsState::fromJSON(document(plat::Object(whole))).has_value());
    for (const auto& [key, value] : whole) {
        plat::Object::Dict missing = whole;
        missing.erase(key);
        EXPECT_FALSE(EncodedRolloutsState::fromJSON(document(plat::Object(missing))).has_value()) << key;
        try {
            plat::ObjectDecoder().decode<EncodedRolloutAssignment>(plat::Object(missing));
            ADD_FAILURE() << "decoded without " << key;
        } catch (const plat::DecodingError& error) {
            EXPECT_EQ(error.kind(), plat::DecodingError::Case::keyNotFound) << key;
            ASSERT_TRUE(error.key().has_value());
            EXPECT_EQ(error.key()->stringValue, key);
        }
        plat::Object::Dict null = whole;
        null[key] = plat::Object::null();
        EXPECT_FALSE(EncodedRolloutsState::fromJSON(document(plat::Object(null))).has_value()) << key;
    }
    plat::Object::Dict wrongType = whole;
    wrongType["template_version"] = plat::Object("12");
    EXPECT_FALSE(EncodedRolloutsState::fromJSON(document(plat::Object(wrongType))).has_value());
    wrongType = whole;
    wrongType["rollout_id"] = plat::Object(int64_t{7});
    EXPECT_FALSE(EncodedRolloutsState::fromJSON(document(plat::Object(wrongType))).has_value());
    wrongType = whole;
    wrongType["template_version"] = plat::Object(1.5);
    EXPECT_FALSE(EncodedRolloutsState::fromJSON(document(plat::Object(wrongType))).has_value());

    for (const char* bad : {"", "{", "[]", "{}", R"({"rollouts":{}})", R"({"rollouts":[1]})",
                            R"({"Rollouts":[]})", R"({"rollouts":null})"})
        EXPECT_FALSE(EncodedRolloutsState::fromJSON(bad).has_value()) << bad;
}

} // namespace
