#pragma once

#include <windows.h>

#include <string>

#include "platform/Win32Handles.h"

// Signals its event when a name is added to or deleted from the Users key, a
// value there is written, or the key itself or a key above it is made or
// deleted. One signal per arming: arm again before reading the key, so that
// nothing written while it is read goes unseen.
class UsersKeyWatch {
public:
    UsersKeyWatch();
    HANDLE Event() const { return event_.get(); }
    void Arm();

private:
    UniqueHandleObject event_;
    UniqueHKey nearest_;
    UniqueHKey parent_;
};
