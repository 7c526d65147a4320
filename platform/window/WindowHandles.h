#pragma once

#include <windows.h>
#include <commctrl.h>

#include "platform/common/Win32Handles.h"

// Owners of what only the window holds: user32, gdi32 and comctl32 objects,
// kept out of the common handles so that the command line names none of them.
using UniqueHMenu = UniqueHandle<HMENU, NullInvalidTraits<HMENU, DestroyMenu>>;
using UniqueHFont = UniqueHandle<HFONT, NullInvalidTraits<HFONT, DeleteObject>>;
using UniqueHIcon = UniqueHandle<HICON, NullInvalidTraits<HICON, DestroyIcon>>;
using UniqueHImageList = UniqueHandle<HIMAGELIST, NullInvalidTraits<HIMAGELIST, ImageList_Destroy>>;
