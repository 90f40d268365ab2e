// Runs at crash time. The unwinder's lines in the internal log ("sdk.log"): the level word padded
// to six characters, "[function:line] ", the text and a line feed.
#pragma once

#include "crash/record/CRWSDKFileLog.h"

#define CRWUnwindLogDebug(text, ...) CRWSDKLogDebug(text "\n" __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogInfo(text, ...) CRWSDKLogInfo(text "\n" __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogWarn(text, ...) CRWSDKLogWarn(text "\n" __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogError(text, ...) CRWSDKLogError(text "\n" __VA_OPT__(, ) __VA_ARGS__)
