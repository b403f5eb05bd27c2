#pragma once

#include "SetmaraBridge/Settings/KeychainResultPrinting.hpp"
#include "Settings/KeychainItems.hpp"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bridge {

namespace testing {

// A keychain in memory that behaves like a real one (add of an existing item is a
// duplicate, update or delete of a missing one is not found), records every write, and can
// refuse operations or change between a read and the write that follows it.
class FakeKeychain : public KeychainItems {
public:
    std::map<std::string, std::string> items;
    // Operations ("add", "update", "remove") answered with this result and left undone.
    std::map<std::string, KeychainResult> refused;
    bool unreadable = false;
    // Runs after every read: another program changing the keychain meanwhile.
    std::function<void()> afterRead;
    // "add bridge-key", "update bridge-key", ... in order.
    std::vector<std::string> writes;

    std::optional<std::string> read(const std::string& account) override {
        std::optional<std::string> value;
        if (auto found = items.find(account); found != items.end() && !unreadable) {
            value = found->second;
        }
        if (afterRead) {
            afterRead();
        }
        return value;
    }

    KeychainResult add(const std::string& account, const std::string& value) override {
        return perform("add", account, [&] {
            return items.try_emplace(account, value).second ? KeychainResult::done
                                                            : KeychainResult::duplicate;
        });
    }

    KeychainResult update(const std::string& account, const std::string& value) override {
        return perform("update", account, [&] {
            const auto found = items.find(account);
            if (found == items.end()) {
                return KeychainResult::notFound;
            }
            found->second = value;
            return KeychainResult::done;
        });
    }

    KeychainResult remove(const std::string& account) override {
        return perform("remove", account, [&] {
            return items.erase(account) == 1 ? KeychainResult::done : KeychainResult::notFound;
        });
    }

private:
    KeychainResult perform(const std::string& operation, const std::string& account,
                           const std::function<KeychainResult()>& act) {
        writes.push_back(operation + " " + account);
        const auto refusal = refused.find(operation);
        return refusal != refused.end() ? refusal->second : act();
    }
};

} // namespace testing
} // namespace bridge
