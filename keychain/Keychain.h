// The application's store for secrets: string (or byte) values under string keys, kept as password
// items of the platform keychain. Each key is the item's account; the options fix the item class,
// the service or server and the access group. A thin synchronous layer over the SecItem calls with
// no cache and no lock of its own: an instance never changes, so one instance may be shared by any
// thread. Failures throw a Status (or the platform error of a failed access-control build); the
// subscripts and listings never throw.
#pragma once

#include "keychain/Attributes.h"
#include "keychain/Options.h"
#include "keychain/Status.h"
#include "platform/security/LAContext.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace keychain {

class Keychain {
public:
    // The main bundle's identifier as the service ("" when the bundle has none).
    Keychain();
    // The store of generic passwords of `service`.
    explicit Keychain(std::string service, std::optional<std::string> accessGroup = std::nullopt);
    // The store of internet passwords of `server`. The text form throws Status::param when the text
    // is not a URL with a host, rather than making a store that would address every server.
    Keychain(const std::string& server, ProtocolType protocolType,
             std::optional<std::string> accessGroup = std::nullopt,
             AuthenticationType authenticationType = AuthenticationType::default_);
    Keychain(const plat::URL& server, ProtocolType protocolType,
             std::optional<std::string> accessGroup = std::nullopt,
             AuthenticationType authenticationType = AuthenticationType::default_);
    explicit Keychain(Options options) : options_(std::move(options)) {}
    virtual ~Keychain() = default;

    // The main bundle's service with an access group.
    static std::shared_ptr<Keychain> withAccessGroup(const std::string& accessGroup);

    const Options& options() const { return options_; }

    // ---- Options ----
    ItemClass itemClass() const { return options_.itemClass; }
    const std::string& service() const { return options_.service; }
    const std::optional<std::string>& accessGroup() const { return options_.accessGroup; }
    // Set only on internet-password stores.
    const std::optional<plat::URL>& server() const { return options_.server; }
    const std::optional<ProtocolType>& protocolType() const { return options_.protocolType; }
    AuthenticationType authenticationType() const { return options_.authenticationType; }
    Accessibility accessibility() const { return options_.accessibility; }
    const std::optional<AuthenticationPolicy>& authenticationPolicy() const {
        return options_.authenticationPolicy;
    }
    bool synchronizable() const { return options_.synchronizable; }
    const std::optional<std::string>& label() const { return options_.label; }
    const std::optional<std::string>& comment() const { return options_.comment; }
    const std::optional<std::string>& authenticationPrompt() const { return options_.authenticationPrompt; }
    // The option, or `allow` when it is not set.
    AuthenticationUI authenticationUI() const {
        return options_.authenticationUI.value_or(AuthenticationUI::allow);
    }
    // The stored context when it is an LAContext.
    std::shared_ptr<const plat::LAContext> authenticationContext() const;

    // ---- Modifiers: each returns a new store (of this object's own class) with one option changed ----
    std::shared_ptr<Keychain> accessibility(Accessibility accessibility) const;
    std::shared_ptr<Keychain> accessibility(Accessibility accessibility, AuthenticationPolicy policy) const;
    std::shared_ptr<Keychain> synchronizable(bool synchronizable) const;
    std::shared_ptr<Keychain> label(const std::string& label) const;
    std::shared_ptr<Keychain> comment(const std::string& comment) const;
    // Merges the entries into the extra attributes; a given key replaces an existing one.
    std::shared_ptr<Keychain> attributes(const plat::Object::Dict& attributes) const;
    std::shared_ptr<Keychain> authenticationPrompt(const std::string& prompt) const;
    std::shared_ptr<Keychain> authenticationUI(AuthenticationUI ui) const;
    std::shared_ptr<Keychain> authenticationContext(std::shared_ptr<const plat::LAContext> context) const;

    // ---- Reading (throws Status) ----
    // The value decoded as UTF-8; none when there is no such item. Bytes that are not UTF-8 print
    // "failed to convert data to string" and throw conversionError.
    std::optional<std::string> get(const std::string& key, bool ignoringAttributeSynchronizable = true) const;
    std::optional<std::string> getString(const std::string& key,
                                         bool ignoringAttributeSynchronizable = true) const {
        return get(key, ignoringAttributeSynchronizable);
    }
    std::optional<plat::Data> getData(const std::string& key,
                                      bool ignoringAttributeSynchronizable = true) const;
    // Calls `handler` with the item's attributes (data, references included), or none when there is
    // no such item, and returns what it returns.
    template <typename Handler>
    auto get(const std::string& key, bool ignoringAttributeSynchronizable, Handler&& handler) const {
        return std::forward<Handler>(handler)(getAttributes(key, ignoringAttributeSynchronizable));
    }
    // Whether the item exists. When the store answers that asking the user is not allowed, the
    // answer is `withoutAuthenticationUI`.
    bool contains(const std::string& key, bool withoutAuthenticationUI = false) const;

    // ---- Subscripts: never throw; a failure reads as none and a failed write is dropped ----
    std::optional<std::string> operator[](const std::string& key) const { return subscriptString(key); }
    std::optional<std::string> subscriptString(const std::string& key) const;
    // A value sets the item, none removes it.
    void setSubscriptString(const std::string& key, const std::optional<std::string>& value) const;
    void modifySubscriptString(const std::string& key,
                               const std::function<void(std::optional<std::string>&)>& change) const;
    std::optional<plat::Data> subscriptData(const std::string& key) const;
    void setSubscriptData(const std::string& key, const std::optional<plat::Data>& value) const;
    void modifySubscriptData(const std::string& key,
                             const std::function<void(std::optional<plat::Data>&)>& change) const;
    std::optional<Attributes> subscriptAttributes(const std::string& key) const;

    // ---- Writing (throws Status, or the platform error of a failed access-control build) ----
    // Updates the item when it exists (also when the store answers that asking the user is not
    // allowed), otherwise adds it.
    void set(const std::string& value, const std::string& key,
             bool ignoringAttributeSynchronizable = true) const;
    void set(const plat::Data& value, const std::string& key,
             bool ignoringAttributeSynchronizable = true) const;
    // Removes every matching item; a missing item is no error.
    void remove(const std::string& key, bool ignoringAttributeSynchronizable = true) const;
    // Removes every item of this store's class, service or server, and access group.
    void removeAll() const;

    // ---- Listings (never throw; failures read as empty) ----
    std::vector<std::string> allKeys() const;
    std::vector<plat::Object::Dict> allItems() const;
    // Every item of the class across services: (service or server, key) pairs, "" for a missing one.
    static std::vector<std::pair<std::string, std::string>> allKeys(ItemClass itemClass);
    static std::vector<plat::Object::Dict> allItems(ItemClass itemClass);
    // "[]" when empty, else one prettified item per line between "[" and "]".
    std::string description() const;
    // The raw attribute dictionaries as fetched.
    std::string debugDescription() const;

    // The store's error factory: the Status for `status` (unexpectedError for unknown codes), after
    // printing "OSStatus error:[<code>] <description>" unless the code is userCanceled (-128).
    static Status securityError(int32_t status);

protected:
    // Makes the store that a modifier returns; subclasses override it to keep their own class.
    virtual std::shared_ptr<Keychain> withOptions(Options options) const;

private:
    std::optional<Attributes> getAttributes(const std::string& key,
                                            bool ignoringAttributeSynchronizable) const;
    std::vector<plat::Object::Dict> fetchItems() const;
    static std::vector<plat::Object::Dict> prettify(ItemClass itemClass,
                                                    const std::vector<plat::Object::Dict>& items);
    std::shared_ptr<Keychain> with(const std::function<void(Options&)>& change) const;
    template <typename Value>
    void storeQuietly(const std::string& key, const std::optional<Value>& value) const;

    Options options_;
};

} // namespace keychain
