#include "platform/common/Win32Shell.h"

#include <oleauto.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "platform/common/NewerApis.h"
#include "platform/common/Win32Handles.h"
#include "platform/common/Win32Registry.h"
#include "registry/modMyRegistry.h"

namespace {

// The parsed path's root, as the registry API names it: by modMyRegistry's
// numbers, which state the order once.
HKEY RootKey(std::int32_t number) {
    using namespace modMyRegistry;
    static_assert(kRootCount == 5, "a root number without its HKEY below");
    static const std::array<HKEY, kRootCount> roots = [] {
        std::array<HKEY, kRootCount> byNumber{};
        byNumber[kClassesRoot] = HKEY_CLASSES_ROOT;
        byNumber[kCurrentUser] = HKEY_CURRENT_USER;
        byNumber[kLocalMachine] = HKEY_LOCAL_MACHINE;
        byNumber[kCurrentConfig] = HKEY_CURRENT_CONFIG;
        byNumber[kUsers] = HKEY_USERS;
        return byNumber;
    }();
    return roots.at(static_cast<std::size_t>(number));
}

// ole32 and oleaut32 come from System32 with the first removal, and COM
// starts then: linked, they would load at every start of the program, most
// of what it takes beyond a bare window, and most runs remove nothing. Only
// the window's thread removes names, so the apartment is that thread's until
// the program ends.
struct Automation {
    HRESULT(WINAPI* coInitializeEx)(void*, DWORD) = nullptr;
    HRESULT(WINAPI* clsidFromProgId)(LPCOLESTR, CLSID*) = nullptr;
    HRESULT(WINAPI* coCreateInstance)(REFCLSID, IUnknown*, DWORD, REFIID, void**) = nullptr;
    BSTR(WINAPI* sysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
    void(WINAPI* sysFreeString)(BSTR) = nullptr;
    HRESULT(WINAPI* variantClear)(VARIANTARG*) = nullptr;
};

template <typename Function>
void Find(HMODULE module, const char* name, Function& out) {
    out = FindExport<Function>(module, name);
}

// Null when either DLL or any call is missing.
const Automation* LoadAutomation() {
    static const Automation apis = [] {
        Automation loaded;
        const HMODULE ole32 = LoadFromSystem32(L"ole32.dll"), oleaut32 = LoadFromSystem32(L"oleaut32.dll");
        Find(ole32, "CoInitializeEx", loaded.coInitializeEx);
        Find(ole32, "CLSIDFromProgID", loaded.clsidFromProgId);
        Find(ole32, "CoCreateInstance", loaded.coCreateInstance);
        Find(oleaut32, "SysAllocStringLen", loaded.sysAllocStringLen);
        Find(oleaut32, "SysFreeString", loaded.sysFreeString);
        Find(oleaut32, "VariantClear", loaded.variantClear);
        if (loaded.coInitializeEx != nullptr) loaded.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        return loaded;
    }();
    const bool complete = apis.coInitializeEx && apis.clsidFromProgId && apis.coCreateInstance &&
                          apis.sysAllocStringLen && apis.sysFreeString && apis.variantClear;
    return complete ? &apis : nullptr;
}

struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static void Close(BSTR text) { LoadAutomation()->sysFreeString(text); }
};
using UniqueBstr = UniqueHandle<BSTR, BstrTraits>;

HRESULT CreateAutomationShell(ComPtr<IDispatch>& shell) {
    const Automation* com = LoadAutomation();
    if (com == nullptr) return REGDB_E_CLASSNOTREG;
    CLSID clsid{};
    const HRESULT hr = com->clsidFromProgId(L"WScript.Shell", &clsid);
    if (FAILED(hr)) return hr;
    return com->coCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                 shell.put_void());
}

// Called only on a shell that CreateAutomationShell made, so COM is loaded.
HRESULT InvokeRegDelete(IDispatch* shell, std::wstring_view path) {
    const Automation& com = *LoadAutomation();
    DISPID dispid = 0;
    std::array<wchar_t, 10> method{L"RegDelete"};
    LPOLESTR names[] = {method.data()};
    HRESULT hr = shell->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return hr;

    UniqueBstr text(com.sysAllocStringLen(path.data(), static_cast<UINT>(path.size())));
    if (!text) return E_OUTOFMEMORY;
    VARIANT argument{};  // all zero: VT_EMPTY, as VariantInit leaves it
    argument.vt = VT_BSTR;
    argument.bstrVal = text.get();
    DISPPARAMS params{&argument, nullptr, 1, 0};
    VARIANT result{};
    EXCEPINFO exception{};
    hr = shell->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, nullptr);
    com.variantClear(&result);
    // A failure inside the method comes back wrapped in the exception record.
    UniqueBstr source(exception.bstrSource), description(exception.bstrDescription), help(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) return exception.scode;
    return hr;
}

// Paths of every key below `path` (`name` below `parent`), children after
// their own children, so that a shell that deletes only childless keys can
// take the tree apart. Every key is opened without following a link, and a
// tree that is or holds one is refused whole: deleted through the link, its
// target would go, wherever it is.
bool CollectSubkeysDeepestFirst(HKEY parent, const std::wstring& name, const std::wstring& path,
                                std::vector<std::wstring>& out) {
    UniqueHKey open;
    const LSTATUS opened =
        RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, open.put());
    if (opened != ERROR_SUCCESS) return opened == ERROR_FILE_NOT_FOUND;
    if (IsRegistryLink(open.get())) return false;
    DWORD maxName = 0;
    if (RegQueryInfoKeyW(open.get(), nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> buffer(maxName + 1);
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumKeyExW(open.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.emplace_back(buffer.data(), length);
    }
    for (const std::wstring& child : children) {
        std::wstring childPath = path;
        childPath.append(1, L'\\').append(child);
        if (!CollectSubkeysDeepestFirst(open.get(), child, childPath, out)) return false;
        out.push_back(std::move(childPath));
    }
    return true;
}

// Whether a key above the item that the path names is a registry link: the
// shell and RegDeleteKeyW follow every one. A key named itself the delete
// walk looks at.
bool LinkAbove(const modMyRegistry::ShellPath& parsed) {
    const std::size_t slash = parsed.namesKey ? parsed.key.rfind(L'\\') : parsed.key.size();
    UniqueHKey above;
    return slash != std::wstring::npos && OpenWithoutLinks(RootKey(parsed.rootKey), std::wstring_view(parsed.key).substr(0, slash),
                                                          KEY_QUERY_VALUE, above) == reg::kLinkOnPath;
}

HRESULT DeleteThroughAutomation(IDispatch* shell, std::wstring_view path) {
    modMyRegistry::ShellPath parsed;
    if (!modMyRegistry::ParseShellPath(path, parsed)) return E_INVALIDARG;
    if (LinkAbove(parsed)) return E_ACCESSDENIED;
    if (!parsed.namesKey) return InvokeRegDelete(shell, path);

    std::vector<std::wstring> below;
    if (!CollectSubkeysDeepestFirst(RootKey(parsed.rootKey), parsed.key, parsed.key, below)) return E_ACCESSDENIED;
    const std::wstring rootName(path.substr(0, path.find(L'\\') + 1));
    for (const std::wstring& key : below) {
        if (const HRESULT hr = InvokeRegDelete(shell, rootName + key + L'\\'); FAILED(hr)) return hr;
    }
    return InvokeRegDelete(shell, path);
}

// `key` below `root` with everything below it, deepest first; nothing when
// the tree is or holds a link. RegDeleteKeyW follows a link at the path's last part, so every key it is
// given has just been seen not to be one.
LSTATUS DeleteKeyTree(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> keys;
    if (!CollectSubkeysDeepestFirst(root, key, key, keys)) return ERROR_ACCESS_DENIED;
    keys.push_back(key);
    for (const std::wstring& path : keys)
        if (const LSTATUS status = RegDeleteKeyW(root, path.c_str()); status != ERROR_SUCCESS) return status;
    return ERROR_SUCCESS;
}

std::atomic<unsigned> fallbacks{0};

// The core names the user's keys by HKEY_CURRENT_USER; another account's hive
// is a key of HKEY_USERS, by which the shell and the API must then reach it.
std::wstring OnUserRoot(std::wstring_view path, std::wstring_view userRoot) {
    modMyRegistry::ShellPath parsed;
    if (!modMyRegistry::ParseShellPath(path, parsed) || parsed.rootKey != modMyRegistry::kCurrentUser) return std::wstring(path);
    return std::wstring(userRoot) + std::wstring(path.substr(path.find(L'\\')));
}

class AutomationOrApiShell final : public ScriptShell {
public:
    explicit AutomationOrApiShell(std::wstring_view userRoot) : userRoot_(userRoot) {}
    bool RegDelete(std::wstring_view asked) override {
        const std::wstring path = OnUserRoot(asked, userRoot_);
        ComPtr<IDispatch> shell;
        if (SUCCEEDED(CreateAutomationShell(shell))) {
            const HRESULT hr = DeleteThroughAutomation(shell.get(), path);
            if (hr != E_NOTIMPL) return SUCCEEDED(hr);
        }
        ++fallbacks;
        return RegistryApiDelete(path) == ERROR_SUCCESS;
    }

private:
    std::wstring_view userRoot_;
};

}  // namespace

unsigned RegistryApiFallbacks() { return fallbacks; }

LSTATUS RegistryApiDelete(std::wstring_view path) {
    modMyRegistry::ShellPath parsed;
    if (!modMyRegistry::ParseShellPath(path, parsed)) return ERROR_INVALID_PARAMETER;
    if (LinkAbove(parsed)) return reg::kLinkOnPath;
    if (parsed.namesKey) return DeleteKeyTree(RootKey(parsed.rootKey), parsed.key);
    UniqueHKey key;
    if (const LSTATUS opened = OpenWithoutLinks(RootKey(parsed.rootKey), parsed.key, KEY_SET_VALUE, key);
        opened != ERROR_SUCCESS)
        return opened;
    return RegDeleteValueW(key.get(), parsed.item.c_str());
}

HMODULE LoadFromSystem32(const wchar_t* name) {
    std::array<wchar_t, MAX_PATH> folder{};
    const UINT length = GetSystemDirectoryW(folder.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(folder.data(), length) + L'\\' + name).c_str());
}

std::unique_ptr<ScriptShell> AutomationOrApiShellFactory::Create() { return std::make_unique<AutomationOrApiShell>(userRoot_); }
