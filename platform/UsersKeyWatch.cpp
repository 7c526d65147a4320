#include "platform/UsersKeyWatch.h"

#include <string>

#include "registry/UsersKey.h"

UsersKeyWatch::UsersKeyWatch() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

// The Users key is watched for its own names and values, and the nearest
// key above it that exists for the names below it: that tells when the
// Users key is deleted, or made (perhaps with the keys above it) where it
// was missing. Above an existing Users key only its parent's own subkeys
// are watched, or every setting the messenger writes would wake us.
void UsersKeyWatch::Arm() {
    if (!event_) return;
    // Closing a watched key ends its watch and may signal the event; that is
    // no change of the registry.
    users_.reset();
    ancestor_.reset();
    ResetEvent(event_.get());

    std::wstring path(USERS_KEY_PATH);
    const bool usersExists =
        RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_NOTIFY, users_.put()) == ERROR_SUCCESS;
    if (usersExists)
        RegNotifyChangeKeyValue(users_.get(), FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event_.get(),
                                TRUE);
    do {
        const std::size_t slash = path.rfind(L'\\');
        path.resize(slash == std::wstring::npos ? 0 : slash);
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_NOTIFY, ancestor_.put()) == ERROR_SUCCESS) {
            RegNotifyChangeKeyValue(ancestor_.get(), usersExists ? FALSE : TRUE, REG_NOTIFY_CHANGE_NAME, event_.get(),
                                    TRUE);
            return;
        }
    } while (!path.empty());
}
