// The stand-in's event upload service: the four targets' upload endpoints, and their
// administration under "/admin/upload".
#pragma once

#include "standin/StandinRouter.h"
#include "standin/UploadService.h"

namespace standin {

// POST <each target's upload path> and POST /v1/redirected/<target>: keeps the body (inflating a
// gzip one), decodes it for the log and answers a ttw.LogResponse, unless a fault is armed. Targets
// 1001 to 1003 need an "X-Tessera-Api-Key" (403 without); a body that does not inflate or decode
// is answered 400.
void addUploadRoutes(StandinRouter& router, UploadService& uploads);
// GET    /admin/upload/bodies[?target=T]          the received uploads with their decoded summary
// GET    /admin/upload/body?index=N               one upload's (inflated) body bytes
// POST   /admin/upload/fault?kind=K[&target=T][&retry-after=S][&location=L]
//                                                 arm a fault (see UploadFault::named)
// DELETE /admin/upload/faults                     clear the faults
// POST   /admin/upload/wait?ms=M|none[&target=T]  the wait the replies ask for
// DELETE /admin/upload                            forget every body, fault and wait
void addUploadAdminRoutes(StandinRouter& router, UploadService& uploads);

} // namespace standin
