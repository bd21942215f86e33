// The in-process server around CTavJIT: its class factory, the counts that
// decide when the DLL may unload, and the four entry points.
#include <olectl.h>

#include <string>

#include "TavJIT.h"
#include "module.h"

namespace tavcom {

HINSTANCE g_module = nullptr;

namespace {

LONG g_objects = 0, g_locks = 0;

constexpr const wchar_t* kProgId = L"TavJIT.CTavJIT";

// The class factory is static; the references it hands out lock the DLL,
// as a client holding one must keep the code loaded.
class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    Lock();
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    Unlock();
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateCTavJIT(riid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? Lock() : Unlock();
    return S_OK;
  }
};

Factory g_factory;

std::wstring GuidText(REFGUID guid) {
  wchar_t buf[40];
  return StringFromGUID2(guid, buf, 40) ? std::wstring(buf) : std::wstring();
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Sets a value under HKEY_CLASSES_ROOT\key (the default value when name is
// null); an empty data with no name only creates the key.
bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LSTATUS status = ERROR_SUCCESS;
  if (name || !data.empty())
    status = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return status == ERROR_SUCCESS;
}

// Deletes HKEY_CLASSES_ROOT\key with everything under it; absent is fine.
bool DeleteTree(const std::wstring& key) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }
void Lock() { InterlockedIncrement(&g_locks); }
void Unlock() { InterlockedDecrement(&g_locks); }
bool CanUnload() { return g_objects == 0 && g_locks == 0; }

std::string Utf8(const wchar_t* s, size_t n) {
  if (n == 0) return std::string();
  const int len = WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(len > 0 ? len : 0), '\0');
  if (len > 0)
    WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(n), out.data(), len, nullptr, nullptr);
  return out;
}

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int len = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(len > 0 ? len : 0), L'\0');
  if (len > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), len);
  return out;
}

BSTR Bstr(std::string_view utf8) {
  const std::wstring w = Wide(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

}  // namespace tavcom

using namespace tavcom;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_CTavJIT) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return CanUnload() ? S_OK : S_FALSE; }

// Unregistering what is not registered succeeds: the result is the same.
STDAPI DllUnregisterServer() {
  HRESULT hr = S_OK;
  HKEY tlb = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GuidText(LIBID_TavJIT)).c_str(), 0,
                    KEY_READ, &tlb) == ERROR_SUCCESS) {
    RegCloseKey(tlb);
    if (FAILED(UnRegisterTypeLib(LIBID_TavJIT, 1, 0, LOCALE_NEUTRAL, SYS_WIN64)))
      hr = SELFREG_E_TYPELIB;
  }
  if (!DeleteTree(L"CLSID\\" + GuidText(CLSID_CTavJIT)) || !DeleteTree(kProgId))
    hr = SELFREG_E_CLASS;
  return hr;
}

STDAPI DllRegisterServer() {
  std::wstring path = ModulePath();
  const std::wstring clsid_text = GuidText(CLSID_CTavJIT);
  const std::wstring clsid = L"CLSID\\" + clsid_text;
  if (path.empty() || clsid_text.empty()) return SELFREG_E_CLASS;
  const struct {
    std::wstring key;
    const wchar_t* name;
    std::wstring data;
  } values[] = {
      {clsid, nullptr, L"CTavJIT"},
      {clsid + L"\\InprocServer32", nullptr, path},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", nullptr, kProgId},
      {clsid + L"\\VersionIndependentProgID", nullptr, kProgId},
      {clsid + L"\\TypeLib", nullptr, GuidText(LIBID_TavJIT)},
      {clsid + L"\\Version", nullptr, L"1.0"},
      {clsid + L"\\Programmable", nullptr, L""},
      {kProgId, nullptr, L"CTavJIT"},
      {std::wstring(kProgId) + L"\\CLSID", nullptr, clsid_text},
  };
  for (const auto& v : values) {
    if (!SetValue(v.key, v.name, v.data)) {
      DllUnregisterServer();
      return SELFREG_E_CLASS;
    }
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr)) {
    hr = RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
  }
  if (FAILED(hr)) {
    DllUnregisterServer();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

}  // extern "C"
