// A stand-in for the "WScript.Shell" automation object, registered in a test
// prefix in place of Wine's (whose RegDelete answers E_NOTIMPL), so that the
// removal path Windows users take runs under test. Only RegDelete, as
// documented: a path ending in a backslash names a key, anything else a
// value; a key that still has subkeys is refused; a missing value or key
// fails; every failure is DISP_E_EXCEPTION with the error in EXCEPINFO.
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>

namespace {

constexpr DISPID kRegDelete = 1;

LSTATUS Delete(std::wstring_view path) {
    struct Root { std::wstring_view longName, shortName; HKEY key; };
    static const Root roots[] = {{L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
                                 {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
                                 {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
                                 {L"HKEY_USERS", L"HKEY_USERS", HKEY_USERS},
                                 {L"HKEY_CURRENT_CONFIG", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    const std::size_t slash = path.find(L'\\');
    HKEY root = nullptr;
    for (const Root& r : roots)
        if (path.substr(0, slash) == r.longName || path.substr(0, slash) == r.shortName) root = r.key;
    if (root == nullptr || slash == std::wstring_view::npos) return ERROR_BAD_PATHNAME;
    std::wstring_view rest = path.substr(slash + 1);
    const bool namesKey = rest.ends_with(L'\\');
    if (namesKey) rest.remove_suffix(1);
    const std::size_t last = rest.rfind(L'\\');
    const std::wstring parent(namesKey ? rest : rest.substr(0, last == std::wstring_view::npos ? 0 : last));
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, parent.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD subkeys = 0;
    if (namesKey) {
        status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) status = subkeys != 0 ? ERROR_ACCESS_DENIED : RegDeleteKeyW(root, parent.c_str());
    } else {
        const std::wstring value(last == std::wstring_view::npos ? rest : rest.substr(last + 1));
        status = RegDeleteValueW(key, value.c_str());
    }
    RegCloseKey(key);
    return status;
}

class Shell final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1 || CompareStringOrdinal(names[0], -1, L"RegDelete", -1, TRUE) != CSTR_EQUAL)
            return DISP_E_UNKNOWNNAME;
        *ids = kRegDelete;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO* exception, UINT*) override {
        if (id != kRegDelete || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        const BSTR path = params->rgvarg[0].bstrVal;
        const LSTATUS status = Delete(std::wstring_view(path, SysStringLen(path)));
        if (status == ERROR_SUCCESS) return S_OK;
        if (exception != nullptr) {
            *exception = EXCEPINFO{};
            exception->bstrSource = SysAllocString(L"WshShell.RegDelete");
            exception->bstrDescription = SysAllocString(L"Unable to remove registry key");
            exception->scode = HRESULT_FROM_WIN32(status);
        }
        return DISP_E_EXCEPTION;
    }

private:
    LONG refs_ = 1;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Shell* shell = new (std::nothrow) Shell;
        if (shell == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = shell->QueryInterface(iid, out);
        shell->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

// Found through its registration alone: any class asked of this DLL is the shell.
STDAPI DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    static Factory factory;
    return factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return S_FALSE; }
