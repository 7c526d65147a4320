// A stand-in for the "WScript.Shell" automation object, registered in a test
// prefix in place of Wine's (whose RegDelete answers E_NOTIMPL), so that the
// removal path Windows users take runs under test. Only RegDelete, as
// documented: a path ending in a backslash names a key, anything else a
// value; a key that still has subkeys is refused; a missing value or key
// fails; every failure is DISP_E_EXCEPTION with the error in EXCEPINFO.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "platform/common/Guarded.h"

namespace {

// COM callers get an HRESULT, never an exception.
template <typename Fn>
HRESULT Com(Fn fn) {
    return Guarded(fn, [](bool outOfMemory) { return outOfMemory ? E_OUTOFMEMORY : E_FAIL; });
}

constexpr DISPID kRegDelete = 1;

// Tallowick names keys of HKEY_CURRENT_USER alone; the real object takes the
// other roots too.
LSTATUS Delete(std::wstring_view path) {
    const std::size_t slash = path.find(L'\\');
    const std::wstring_view root = path.substr(0, slash);
    if ((root != L"HKCU" && root != L"HKEY_CURRENT_USER") || slash == std::wstring_view::npos) return ERROR_BAD_PATHNAME;
    const std::wstring rest(path.substr(slash + 1));
    // RegDeleteKey itself refuses a key that has subkeys, as WScript.Shell does.
    if (rest.ends_with(L'\\')) return RegDeleteKeyW(HKEY_CURRENT_USER, rest.substr(0, rest.size() - 1).c_str());
    const std::size_t last = rest.rfind(L'\\');
    const std::wstring key = last == std::wstring::npos ? L"" : rest.substr(0, last);
    return RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), rest.substr(last + 1).c_str());
}

// One object for the DLL's whole life, both the class factory and the shell
// it makes: nothing to count, nothing to free.
class Shell final : public IClassFactory, public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IDispatch ? static_cast<void*>(static_cast<IDispatch*>(this))
               : iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this)
                                                                   : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return Com([&] { return outer != nullptr ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out); });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return Com([&] {
            if (count != 1 || CompareStringOrdinal(names[0], -1, L"RegDelete", -1, TRUE) != CSTR_EQUAL)
                return DISP_E_UNKNOWNNAME;
            *ids = kRegDelete;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO* exception, UINT*) override {
        return Com([&] { return RegDelete(id, flags, params, exception); });
    }

private:
    static HRESULT RegDelete(DISPID id, WORD flags, const DISPPARAMS* params, EXCEPINFO* exception) {
        if (id != kRegDelete || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        const BSTR path = params->rgvarg[0].bstrVal;
        const LSTATUS status = Delete(std::wstring_view(path, SysStringLen(path)));
        if (status == ERROR_SUCCESS) return S_OK;
        if (exception != nullptr)
            *exception = {0, 0, SysAllocString(L"WshShell.RegDelete"), SysAllocString(L"Unable to remove registry key"),
                          nullptr, 0, nullptr, nullptr, HRESULT_FROM_WIN32(status)};
        return DISP_E_EXCEPTION;
    }
};

}  // namespace

// Found through its registration alone: any class asked of this DLL is the shell.
STDAPI DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    static Shell shell;
    return Com([&] { return shell.QueryInterface(iid, out); });
}

STDAPI DllCanUnloadNow() { return S_FALSE; }
