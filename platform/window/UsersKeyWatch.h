#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "platform/common/Win32Handles.h"

// Signals one of its two events when a name is added to or deleted from the
// Users key, a value there is written, or the key itself or a key above it is
// made or deleted. One signal per arming: arm again before reading the key,
// so that nothing written while it is read goes unseen. Both are null when
// they could not be made.
class UsersKeyWatch {
public:
    UsersKeyWatch();
    std::array<HANDLE, 2> Events() const { return {nearestChanged_.get(), parentChanged_.get()}; }
    void Arm();

private:
    UniqueHandleObject nearestChanged_, parentChanged_;
    UniqueHKey nearest_;
    UniqueHKey parent_;
};
