#include "crash/manager/RolloutAssignment.h"

#include <algorithm>

RolloutsState::RolloutsState(const std::vector<std::shared_ptr<RolloutAssignment>>& assignmentList) {
    setAssignments(assignmentList);
}

void RolloutsState::setAssignments(const std::vector<std::shared_ptr<RolloutAssignment>>& assignments) {
    assignments_.clear();
    for (const auto& assignment : assignments)
        if (assignment &&
            std::find(assignments_.begin(), assignments_.end(), assignment) == assignments_.end())
            assignments_.push_back(assignment);
}
