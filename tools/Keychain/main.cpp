// bridge-keychain: reads, writes and deletes the bridge's keychain items as the bridge does.
// Usage: bridge-keychain write ACCOUNT [VALUE] | read ACCOUNT | delete ACCOUNT
// A write without VALUE takes the first line of standard input, so that a secret need not
// show in the process list. read prints the value; it fails when there is none.

#include "Platform/QtKeychainItems.hpp"

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <string_view>

namespace {

int usage() {
    std::cerr << "Usage: bridge-keychain write ACCOUNT [VALUE] | read ACCOUNT | delete ACCOUNT\n";
    return 2;
}

int report(const bridge::KeychainResult& result, std::string_view what) {
    if (result == bridge::KeychainResult::done) {
        return 0;
    }
    std::cerr << "bridge-keychain: " << what << " failed (status " << result.status() << ")\n";
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // QtKeychain's D-Bus backends want an application object.
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        return usage();
    }
    const std::string_view command = argv[1];
    const std::string account = argv[2];
    bridge::QtKeychainItems items;
    if (command == "read" && argc == 3) {
        const auto value = items.read(account);
        if (!value) {
            std::cerr << "bridge-keychain: no " << account << '\n';
            return 1;
        }
        std::cout << *value << '\n';
        return 0;
    }
    if (command == "write" && argc <= 4) {
        std::string value;
        if (argc == 4) {
            value = argv[3];
        } else if (!std::getline(std::cin, value)) {
            return usage();
        }
        return report(items.update(account, value), "write");
    }
    if (command == "delete" && argc == 3) {
        return report(items.remove(account), "delete");
    }
    return usage();
}
