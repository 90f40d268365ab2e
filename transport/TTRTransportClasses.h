// The transport's part of the app core's start-up. Its classes join the app core's class registry in
// their load order (the uploader, the flat-file storage, the lifecycle observer, the metrics
// controller, the application wrapper); their load hooks then run once, in that order, when the app
// core configures (TSRClassRegistry::bootstrap). The storage's hook registers the storage for targets
// 999 to 1003 and runs one expiration sweep: a desktop application never hears the foreground
// notification that would otherwise start one.
//
// The upload side joins here: its uploader and metrics controller classes take their places in
// the order above, and the upload coordinator is handed to the storage in the storage's hook.
#pragma once

// Adds the transport's classes to the registry; once per process, later calls do nothing. Call it
// before the app core configures.
void TTRRegisterTransportClasses();

// The targets the flat-file storage serves.
inline constexpr long long kTTRStorageTargets[] = {999, 1000, 1001, 1002, 1003};
