// The stand-in's session settings endpoint and its administration.
#pragma once

#include "standin/SettingsService.h"
#include "standin/StandinRouter.h"

namespace standin {

// GET /settings/v1/platforms/<platform>/apps/<app id>/settings?build_version=..&display_version=..
//     the document (or the armed fault's reply); every request is recorded
void addSettingsRoutes(StandinRouter& router, SettingsService& settings);
// GET    /admin/settings                  {"document": ..., "fault": name or null}
// POST   /admin/settings/document         the body (a JSON object) becomes the document
// POST   /admin/settings/fault?kind=K     arm 500, nonjson, nulls or wrong-types until cleared
// DELETE /admin/settings/faults           clear the fault
// GET    /admin/settings/requests         the recorded requests: method, path, query, headers
// DELETE /admin/settings                  the default document, no fault, no requests
void addSettingsAdminRoutes(StandinRouter& router, SettingsService& settings);

} // namespace standin
