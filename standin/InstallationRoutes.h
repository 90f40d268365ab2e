// The stand-in's installations service: register, generate an auth token and delete, under
// "/v1/tenants/<project id>/installations/", with its administration under "/admin/installations".
#pragma once

#include "standin/InstallationRegistry.h"
#include "standin/StandinRouter.h"

namespace standin {

// POST   /v1/tenants/<project>/installations/               register (no Authorization)
// POST   /v1/tenants/<project>/installations/<tid>/tokens   a new auth token ("INS_v2 <refresh token>")
// DELETE /v1/tenants/<project>/installations/<tid>/         delete ("INS_v2 <refresh token>")
// Every request needs a well-formed "X-Tessera-Api-Key" and an "X-Tessera-Bundle-Identifier".
void addInstallationRoutes(StandinRouter& router, InstallationRegistry& installations);
// GET    /admin/installations                      the installations (no secrets)
// DELETE /admin/installations                      forget every installation, fault and setting
// POST   /admin/installations/fault?op=&kind=[&value=]   arm a fault (see InstallationFault::named)
// DELETE /admin/installations/faults               clear the faults
// POST   /admin/installations/token-lifetime?seconds=N   lifetime of the auth tokens issued next
// POST   /admin/installations/next-tid?value=T     the tid the next registration answers with
void addInstallationAdminRoutes(StandinRouter& router, InstallationRegistry& installations);

} // namespace standin
