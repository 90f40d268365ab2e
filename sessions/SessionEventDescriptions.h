// How the debug printing shows the session event's values: texts as decoded ("<EMPTY>" when empty,
// "<NULL>" when absent), enum values by their names, with a fixed sentence for a value outside
// the known range.
#pragma once

#include "sessions/proto/sessions.pb.h"

#include <string>

std::string TSRSESDescribeString(const pb_bytes_array_t* array);
std::string TSRSESDescribeEventType(int value);
std::string TSRSESDescribeDataCollectionState(int value);
std::string TSRSESDescribeOsName(int value);
std::string TSRSESDescribeLogEnvironment(int value);
// The shortest decimal text that reads back as the same double, with ".0" on whole numbers.
std::string TSRSESDescribeDouble(double value);
