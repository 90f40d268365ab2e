// The transport's part of the app core's start-up. Its classes join the app core's class registry in
// their load order (the uploader, the flat-file storage, the lifecycle observer, the metrics
// controller, the application wrapper); their load hooks then run once, in that order, when the app
// core configures (TSRClassRegistry::bootstrap). The uploader's hook registers it for targets 1000
// to 1003. The storage's hook hands the storage the upload coordinator (whose timer starts then),
// registers the storage for targets 999 to 1003 and runs one expiration sweep: a desktop
// application never hears the foreground notification that would otherwise start one. The metrics
// controller's hook registers it for targets 1002 and 1001, which makes it the storage's delegate.
#pragma once

// Adds the transport's classes to the registry; once per process, later calls do nothing. Call it
// before the app core configures.
void TTRRegisterTransportClasses();

// The targets the flat-file storage serves.
inline constexpr long long kTTRStorageTargets[] = {999, 1000, 1001, 1002, 1003};
// The targets with a metrics controller, in registration order.
inline constexpr long long kTTRMetricsControllerTargets[] = {1002, 1001};
