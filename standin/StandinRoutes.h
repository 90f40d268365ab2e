// The stand-in's routes, one group per resource, each in the file named after it (addAuthRoutes in
// AuthRoutes.cpp, and so on). Each adds its routes to the router; API paths live under "/api/", the
// test administration under "/admin/".
#pragma once

#include "standin/AccountStore.h"
#include "standin/FaultTable.h"
#include "standin/RequestLog.h"
#include "standin/StandinRouter.h"

namespace standin {

// auth/login/email, auth/email, auth/signup, auth/login/uid, auth/reset-password,
// auth/verify-code, auth/update-password
void addAuthRoutes(StandinRouter& router, AccountStore& accounts);
// users/me, users/me/ip, users/me/plan, users/me/delete, vpn/plans
void addUserRoutes(StandinRouter& router, AccountStore& accounts);
// users/me/regions, users/me/regions/best, config/ipsec/<id>, config/openvpn/<id>
void addRegionRoutes(StandinRouter& router, AccountStore& accounts);
// devices, devices/<id>
void addDeviceRoutes(StandinRouter& router, AccountStore& accounts);
// /admin/...: token expiry, faults, the request log, reset codes, the demo account
void addAdminRoutes(StandinRouter& router, AccountStore& accounts, FaultTable& faults, RequestLog& log);

} // namespace standin
