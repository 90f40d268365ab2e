#include "crash/manager/EncodedRolloutAssignment.h"

#include "crash/manager/CrashwatchRemoteFlagsManager.h"
#include "crash/manager/RolloutAssignment.h"

EncodedRolloutAssignment::EncodedRolloutAssignment(const RolloutAssignment& assignment)
    : EncodedRolloutAssignment(FileUtility::stringToHexConverter(assignment.rolloutId),
                               FileUtility::stringToHexConverter(assignment.variantId),
                               assignment.templateVersion,
                               FileUtility::stringToHexConverter(assignment.parameterKey),
                               FileUtility::stringToHexConverter(assignment.parameterValue)) {}

EncodedRolloutAssignment::EncodedRolloutAssignment(std::string rolloutId, std::string variantId,
                                                   int64_t templateVersion, std::string parameterKey,
                                                   std::string parameterValue)
    : rolloutId(std::move(rolloutId)), variantId(std::move(variantId)), templateVersion(templateVersion),
      parameterKey(std::move(parameterKey)), parameterValue(std::move(parameterValue)) {}

void EncodedRolloutAssignment::encode(plat::Encoder& encoder) const {
    plat::KeyedEncodingContainer container = encoder.container();
    container.encode(rolloutId, kRolloutIdKey);
    container.encode(variantId, kVariantIdKey);
    container.encode(templateVersion, kTemplateVersionKey);
    container.encode(parameterKey, kParameterKeyKey);
    container.encode(parameterValue, kParameterValueKey);
}

EncodedRolloutAssignment EncodedRolloutAssignment::decode(plat::Decoder& decoder) {
    plat::KeyedDecodingContainer container = decoder.container();
    // In field order, so the first failing field is the one reported.
    std::string rolloutId = container.decode<std::string>(kRolloutIdKey);
    std::string variantId = container.decode<std::string>(kVariantIdKey);
    const int64_t templateVersion = container.decode<int64_t>(kTemplateVersionKey);
    std::string parameterKey = container.decode<std::string>(kParameterKeyKey);
    std::string parameterValue = container.decode<std::string>(kParameterValueKey);
    return EncodedRolloutAssignment(std::move(rolloutId), std::move(variantId), templateVersion,
                                    std::move(parameterKey), std::move(parameterValue));
}
