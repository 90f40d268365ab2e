// Protocols of the component registry: a protocol is a name plus a test that tells whether an
// instance conforms, so the container can look components up by name and still check what a
// creation block handed back. Every instance a component hands out derives from TSRComponentInstance.
#pragma once

#include <functional>
#include <memory>
#include <string>

// The common base of the objects that components hand out.
class TSRComponentInstance {
public:
    virtual ~TSRComponentInstance() = default;
};

class TSRProtocol {
public:
    using ConformanceTest = std::function<bool(const TSRComponentInstance&)>;

    TSRProtocol(std::string name, ConformanceTest conforms)
        : name_(std::move(name)), conforms_(std::move(conforms)) {}

    // The protocol of the interface type `P`: an instance conforms when it is a `P`.
    template <typename P> static TSRProtocol of(std::string name) {
        return TSRProtocol(std::move(name), [](const TSRComponentInstance& instance) {
            return dynamic_cast<const P*>(&instance) != nullptr;
        });
    }

    const std::string& name() const { return name_; }
    bool isConformedToBy(const TSRComponentInstance& instance) const {
        return conforms_ && conforms_(instance);
    }

private:
    std::string name_;
    ConformanceTest conforms_;
};
