#include "crash/report/TSRExceptionModel.h"

TSRExceptionModel::TSRExceptionModel(std::string name, std::string reason)
    : name_(std::move(name)), reason_(std::move(reason)) {}
