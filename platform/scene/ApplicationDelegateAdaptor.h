// Makes the one delegate of type T and installs it as the application's delegate, so that a
// declarative application can own a classic delegate for the lifecycle calls.
#pragma once

#include "platform/appkit/Application.h"
#include "platform/appkit/ApplicationDelegate.h"

#include <memory>
#include <type_traits>

namespace plat::scene {

template <typename T>
requires std::is_base_of_v<ApplicationDelegate, T>
class ApplicationDelegateAdaptor {
public:
    ApplicationDelegateAdaptor() : delegate_(std::make_shared<T>()) {
        Application::shared().setDelegate(delegate_);
    }
    ApplicationDelegateAdaptor(const ApplicationDelegateAdaptor&) = delete;
    ApplicationDelegateAdaptor& operator=(const ApplicationDelegateAdaptor&) = delete;

    // The delegate instance.
    T& wrappedValue() const { return *delegate_; }

private:
    std::shared_ptr<T> delegate_;
};

} // namespace plat::scene
