#pragma once

#include <string>
#include <string_view>

#include "window/WindowOps.h"

namespace reg {
class RegistryReader;
}
class ScriptShellFactory;

// The main window's behaviour, apart from the toolkit that draws it: the
// layout rule, the context menu and the removal command.
class frmMain {
public:
    frmMain(FormOps& form, ListOps& lstNames, StatusOps& statusBar, reg::RegistryReader& registry,
            ScriptShellFactory& shells);

    void OnLoad();
    void OnResize();
    void OnListMouseDown(short button, short shift, float x, float y);
    void OnListContextMenuKey();
    void OnRemoveNameClick();

    static bool IsAddressableName(std::wstring_view name);
    static std::wstring CouldNotRemoveText(std::wstring_view name);

private:
    FormOps& form_;
    ListOps& lstNames_;
    StatusOps& statusBar_;
    reg::RegistryReader& registry_;
    ScriptShellFactory& shells_;
};
