// The classes that the app core can find at run time by name, with what each offers: the
// protocols it conforms to, its class operations (the components it registers, its library
// version) and its class-load hook. Libraries describe their classes here; one explicit, once-only
// bootstrap then runs the load hooks (which join the component registry) before the first app is
// configured, so nothing depends on the order of static initialisation. Thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TSRComponent;

// The class-level protocol of component registrants.
inline constexpr const char* kTSRLibraryProtocol = "TSRLibrary";
// The class operations the core asks for by name.
inline constexpr const char* kTSRComponentsToRegisterSelector = "componentsToRegister";
inline constexpr const char* kTSRSDKVersionSelector = "sdkVersion";
inline constexpr const char* kTSRLoadSelector = "load";

// A class as the run time describes it. An operation the class does not offer is left empty.
struct TSRClass {
    std::string name;
    std::set<std::string> protocols;
    std::function<std::vector<std::shared_ptr<TSRComponent>>()> componentsToRegister;
    std::function<std::optional<std::string>()> sdkVersion;
    // The class-load hook, run once by the bootstrap.
    std::function<void()> load;

    bool conformsToProtocol(const std::string& protocol) const { return protocols.count(protocol) != 0; }
    // Whether the class answers the class operation of that name.
    bool respondsToSelector(const std::string& selector) const;
};

using TSRClassRef = std::shared_ptr<const TSRClass>;

class TSRClassRegistry {
public:
    // The process-wide registry; never destroyed.
    static TSRClassRegistry& shared();

    // Makes the class findable by name and answers it. A name already taken keeps its first class
    // (which is answered). A class added after the bootstrap ran has its load hook run at once,
    // as a library loaded late would.
    TSRClassRef registerClass(TSRClass cls);
    // The class of that name, or null.
    TSRClassRef classNamed(const std::string& name) const;
    std::vector<TSRClassRef> allClasses() const;

    // Runs the load hook of every class registered so far, in registration order, once per
    // process. TSRApp's configuration calls it too, so a forgotten call cannot drop registrants.
    void bootstrap();
    bool hasBootstrapped() const;

    // Test hook: no classes, bootstrap not run.
    void resetForTesting();

private:
    TSRClassRegistry() = default;

    mutable std::mutex lock_;
    std::recursive_mutex bootstrapLock_; // held while the hooks run, so a second caller waits for them
    std::vector<TSRClassRef> classes_;
    bool bootstrapped_ = false;
};
