#include "tests/crash/record/RecordTestSupport.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWMemory.h"

namespace crashtest {

ScopedLogContext::ScopedLogContext() {
    CRWContextBaseInit();
    _crwContext.readonly->logPath = CRWDupString(logFile().c_str());
    _crwContext.readonly->reportFolder = CRWContextOpenFolder(folder().string());
}

} // namespace crashtest
