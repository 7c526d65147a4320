#include "platform/window/UsersKeyWatch.h"

#include "platform/common/Win32Registry.h"
#include "registry/UsersKey.h"

namespace {

std::wstring ParentPath(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return path.substr(0, slash == std::wstring::npos ? 0 : slash);
}

// The Users key, or the nearest key above it that exists and is reached
// through no registry link: HKCU itself at the least. A link is watched from
// above, where its going away shows.
std::wstring NearestExisting() {
    std::wstring path(USERS_KEY_PATH);
    for (UniqueHKey key; !path.empty(); path = ParentPath(path))
        if (OpenWithoutLinks(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE, key) == ERROR_SUCCESS) break;
    return path;
}

}  // namespace

UsersKeyWatch::UsersKeyWatch()
    : nearestChanged_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      parentChanged_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!nearestChanged_ || !parentChanged_) nearestChanged_.reset(), parentChanged_.reset();
}

// The nearest existing key of the path is watched for its own names (and,
// the Users key, for its values too), never its subtree: that tells when the
// next key down is made, without every other key under Software waking us.
// A watched key that is deleted never signals under Wine, so its parent is
// watched for its names as well. Should the nearest key change while the
// watch is set up, the watch is set up again on the new one. Each watch has
// an event of its own: setting a watch resets its event, and with one event
// for both, a change to the Users key between the two would be lost, its
// watch spent, and the list would follow nothing more.
void UsersKeyWatch::Arm() {
    if (!nearestChanged_) return;
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Closing a watched key ends its watch and may signal the event; that
        // is no change of the registry.
        nearest_.reset();
        parent_.reset();
        ResetEvent(nearestChanged_.get());
        ResetEvent(parentChanged_.get());

        const std::wstring nearest = NearestExisting();
        const bool isUsers = nearest == USERS_KEY_PATH;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, nearest.c_str(), 0, KEY_NOTIFY, nearest_.put()) == ERROR_SUCCESS)
            RegNotifyChangeKeyValue(nearest_.get(), FALSE,
                                    REG_NOTIFY_CHANGE_NAME | (isUsers ? REG_NOTIFY_CHANGE_LAST_SET : 0),
                                    nearestChanged_.get(), TRUE);
        if (!nearest.empty() &&
            RegOpenKeyExW(HKEY_CURRENT_USER, ParentPath(nearest).c_str(), 0, KEY_NOTIFY, parent_.put()) == ERROR_SUCCESS)
            RegNotifyChangeKeyValue(parent_.get(), FALSE, REG_NOTIFY_CHANGE_NAME, parentChanged_.get(), TRUE);
        if (NearestExisting() == nearest) return;
    }
}
