#include "crash/record/CRWContextInitData.h"

#include "platform/foundation/Paths.h"

std::filesystem::path CRWContextReportsRootPath() {
    return plat::paths::cachesDir() / "com.crashwatch.data";
}
