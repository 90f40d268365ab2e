// Rollout records and the rollouts manager: caps, shortening, hex encoding and both JSON forms.
#include "crash/manager/CrashwatchRemoteFlagsManager.h"
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

} // namespace
