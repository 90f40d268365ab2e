// Base class of the observable controllers and models: `objectWillChange()` fires just before any of
// the object's published values changes, so a screen knows to read the object again. Published
// members join it by naming their owner: `Published<int> count{this, 0};`.
#pragma once

#include "platform/foundation/Subject.h"

namespace plat {

class ObservableObject {
public:
    virtual ~ObservableObject() = default;

    // Sent before a published member stores a new value; subscribers still read the old one. Other
    // code may send it too, for state that is not kept in a published member.
    PassthroughSubject<void>& objectWillChange() const { return objectWillChange_; }

protected:
    ObservableObject() = default;
    // Published members point back at their owner, so the owner is neither copied nor moved.
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;

private:
    // Subscribing does not change the object, so a const object can be observed.
    mutable PassthroughSubject<void> objectWillChange_;
};

} // namespace plat
