#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Probe.h"
#include "TestRegistry.h"

// Starts tallowick.exe and drives it with input, as a person would; shared
// by the end-to-end tests.

inline constexpr DWORD kTimeoutMs = 5000;
// How long a menu that should not appear is given to appear anyway.
inline constexpr DWORD kNoMenuMs = 500;
inline constexpr int kTwipsPerInch = 1440;

// Wine runs the test with a Unix path; Z: is its root.
std::wstring WindowsPath(std::wstring path);
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs);
POINT Centre(const RECT& rect);
// Moves the pointer as a mouse would, then presses and releases a button.
void Click(POINT at, DWORD down, DWORD up);
// Holds the keys down in order, then lets them go in reverse, as a chord is typed.
void Type(std::vector<WORD> keys);

// One running tallowick.exe; ended by force only if a test left it running.
class App {
public:
    App();
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool Ready() const { return probe_.has_value(); }
    const Probe& probe() const { return *probe_; }
    std::optional<RECT> Menu() const { return Probe::OpenMenu(id_); }
    // As the close box does; the exit code, or STILL_ACTIVE when it does not end.
    DWORD Close();

private:
    UniqueHandleObject process_;
    DWORD id_ = 0;
    std::optional<Probe> probe_;
};

// Empty when the list fills the client area above the status bar and its
// column is the list's width less the layout rule's 95 twips at `dpi`; else
// what differs.
std::wstring LayoutFault(const Probe& probe, UINT dpi);
// What the screen shows inside `rect`, written as a PNG by WIC's encoder.
HRESULT SaveScreenPng(const RECT& rect, const std::wstring& path);

TestValue Sz(const std::wstring& name, const std::wstring& data = L"1");
std::vector<std::wstring> Texts(const Probe& probe);
bool UnderWine();

class E2e : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void TearDown() override { DeleteMessengerTree(); }
};
