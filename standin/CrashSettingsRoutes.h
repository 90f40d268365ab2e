// The stand-in's crash settings endpoint and its administration under "/admin/crash-settings".
#pragma once

#include "standin/CrashSettingsService.h"
#include "standin/StandinRouter.h"

namespace standin {

// GET /settings/v1/platforms/mac/apps/<app id>/settings: the document, unless a fault is armed,
// after the configured delay. Every request is logged. (The session settings, which ask for the
// platform "macos", are not served here.)
void addCrashSettingsRoutes(StandinRouter& router, CrashSettingsService& settings);
// GET    /admin/crash-settings                   the document, the fault and the delay
// PUT    /admin/crash-settings/document          replace the document (a JSON object)
// POST   /admin/crash-settings/fault?kind=K      arm a fault: 500, nonjson or 404
// DELETE /admin/crash-settings/faults            clear the fault
// POST   /admin/crash-settings/delay?ms=M        wait M milliseconds before each reply
// GET    /admin/crash-settings/requests          the requests received, with query and headers
// DELETE /admin/crash-settings                   back to the default document, no fault, no delay
void addCrashSettingsAdminRoutes(StandinRouter& router, CrashSettingsService& settings);

} // namespace standin
