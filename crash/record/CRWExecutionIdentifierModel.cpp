#include "crash/record/CRWExecutionIdentifierModel.h"

#include "crash/record/CRWEncoding.h"
#include "platform/foundation/Text.h"

CRWExecutionIdentifierModel::CRWExecutionIdentifierModel() {
    std::string text = CRWGenerateUUID();
    std::erase(text, '-');
    executionID_ = plat::text::asciiLowercased(text);
}
