// A C++ client of the registered component, for what a script cannot see:
// the events through a connection point it advises (order, text, ErrMsg
// inside the handler), the error information of Execute before Init, and
// the counts DllCanUnloadNow reports.
//
//   tavjit_com_client TavJIT.dll default.tavcat
#include <initguid.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "TavJIT.h"

namespace {

int failures = 0;
#define CHECK(cond)                                                          \
  do {                                                                       \
    if (!(cond)) {                                                           \
      std::fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                            \
    }                                                                        \
  } while (0)

std::wstring Take(BSTR b) {
  std::wstring s(b ? b : L"", b ? SysStringLen(b) : 0);
  SysFreeString(b);
  return s;
}

// Records each event with ErrMsg as the handler sees it.
class Sink final : public IDispatch {
 public:
  struct Event {
    DISPID id;
    std::wstring msg, errmsg;
  };
  explicit Sink(_CTavJIT* source) : source_(source) {}
  std::vector<Event> events;

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID___CTavJIT) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the stack
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    CHECK(p && p->cArgs == 1 && p->rgvarg[0].vt == VT_BSTR);
    BSTR errmsg = nullptr;
    source_->get_ErrMsg(&errmsg);
    events.push_back({id, p->rgvarg[0].bstrVal, Take(errmsg)});
    return S_OK;
  }
  ULONG refs() const { return refs_; }

 private:
  _CTavJIT* source_;
  ULONG refs_ = 0;
};

std::wstring TempDocument(const std::string& body, const wchar_t* name = nullptr) {
  wchar_t dir[MAX_PATH], unique[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"tav", 0, unique);
  std::wstring path = unique;
  if (name) {
    DeleteFileW(unique);
    path = std::wstring(dir) + name;
  }
  std::ofstream(path.c_str(), std::ios::binary)
      << "<tav version=\"1.0\" edition=\"korvane\">\n<tavhead><version>1</version></tavhead>\n"
         "<tavbody>\n"
      << body << "\n</tavbody></tav>\n";
  return path;
}

void CheckEvents(_CTavJIT* jit, const std::wstring& catalogue) {
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  CHECK(SUCCEEDED(jit->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))));
  CHECK(SUCCEEDED(container->FindConnectionPoint(DIID___CTavJIT, &point)));
  IConnectionPoint* none = nullptr;
  CHECK(container->FindConnectionPoint(IID_IDispatch, &none) == CONNECT_E_NOCONNECTION);

  Sink sink(jit);
  DWORD cookie = 0;
  CHECK(SUCCEEDED(point->Advise(&sink, &cookie)));
  BSTR path = SysAllocString(catalogue.c_str());
  CHECK(SUCCEEDED(jit->Init(path)));
  SysFreeString(path);

  const std::wstring doc = TempDocument("<nosuch/>\n<goto line=\"x y\"/>");
  BSTR file = SysAllocString(doc.c_str());
  VARIANT_BOOL ok = VARIANT_TRUE;
  CHECK(SUCCEEDED(jit->Execute(file, &ok)) && ok == VARIANT_FALSE);
  const std::wstring error = L"line contains an invalid value in element goto";
  CHECK(sink.events.size() == 2);
  if (sink.events.size() == 2) {
    CHECK(sink.events[0].id == 2);
    CHECK(sink.events[0].msg == L"Unsupported element, 'nosuch', found in document body.");
    CHECK(sink.events[0].errmsg == L"");
    CHECK(sink.events[1].id == 1);
    CHECK(sink.events[1].msg == error);
    CHECK(sink.events[1].errmsg == error);  // set before the event is raised
  }
  BSTR errmsg = nullptr;
  CHECK(SUCCEEDED(jit->get_ErrMsg(&errmsg)) && Take(errmsg) == error);

  // Once unadvised, the sink hears nothing and is released.
  CHECK(point->Unadvise(cookie) == S_OK);
  CHECK(point->Unadvise(cookie) == CONNECT_E_NOCONNECTION);
  CHECK(sink.refs() == 0);
  CHECK(SUCCEEDED(jit->Execute(file, &ok)));
  CHECK(sink.events.size() == 2);
  SysFreeString(file);
  DeleteFileW(doc.c_str());
  point->Release();
  container->Release();
}

// A file name and a text beyond ASCII, through UTF-16 both ways.
void CheckUnicode(_CTavJIT* jit) {
  const std::wstring doc =
      TempDocument("<inserttext>Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC</inserttext>", L"\u00e9t\u00e9 \u20ac.tav");
  BSTR file = SysAllocString(doc.c_str());
  VARIANT_BOOL ok = VARIANT_FALSE;
  CHECK(SUCCEEDED(jit->Execute(file, &ok)) && ok == VARIANT_TRUE);
  SysFreeString(file);
  BSTR text = nullptr;
  CHECK(SUCCEEDED(jit->get_Text(&text)) &&
        Take(text) == L"Option Explicit\r\nIf docs.Count Then\r\n"
                      L"docs.ActiveDocument.InsertText \"Gr\u00fc\u00dfe \u20ac\"\r\nEnd If\r\n");
  DeleteFileW(doc.c_str());
}

void CheckErrorBeforeInit(_CTavJIT* jit) {
  BSTR file = SysAllocString(L"any.tav");
  VARIANT_BOOL ok = VARIANT_TRUE;
  CHECK(jit->Execute(file, &ok) == static_cast<HRESULT>(0x80040066));
  SysFreeString(file);
  ISupportErrorInfo* support = nullptr;
  CHECK(SUCCEEDED(jit->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))));
  CHECK(support->InterfaceSupportsErrorInfo(IID__CTavJIT) == S_OK);
  support->Release();
  IErrorInfo* info = nullptr;
  CHECK(GetErrorInfo(0, &info) == S_OK && info);
  if (!info) return;
  BSTR source = nullptr, description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  CHECK(Take(source) == L"TAVJIT::Execute");
  CHECK(Take(description) == L"Init method haven't been called");
  info->Release();
}

// DllCanUnloadNow says no while an object, a class factory or a lock of
// LockServer is alive, and yes once all are gone.
void CheckUnloading(const wchar_t* dll) {
  HMODULE module = LoadLibraryW(dll);
  CHECK(module != nullptr);
  if (!module) return;
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(WINAPI*)();
  auto get = reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"));
  auto can_unload = reinterpret_cast<CanUnloadNow>(GetProcAddress(module, "DllCanUnloadNow"));
  CHECK(get && can_unload);
  if (!get || !can_unload) return;
  CHECK(can_unload() == S_OK);
  IClassFactory* factory = nullptr;
  CHECK(get(CLSID_CTavJIT, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK);
  CHECK(can_unload() == S_FALSE);
  IUnknown* object = nullptr;
  CHECK(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)) == S_OK);
  factory->LockServer(TRUE);
  factory->Release();
  CHECK(can_unload() == S_FALSE);
  object->Release();
  CHECK(can_unload() == S_FALSE);
  get(CLSID_CTavJIT, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  CHECK(can_unload() == S_OK);
  IUnknown* unknown_class = nullptr;
  CHECK(get(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&unknown_class)) ==
        CLASS_E_CLASSNOTAVAILABLE);
  FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tavjit_com_client TavJIT.dll CATALOGUE\n");
    return 2;
  }
  CHECK(SUCCEEDED(CoInitialize(nullptr)));
  CLSID clsid;
  CHECK(CLSIDFromProgID(L"TavJIT.CTavJIT", &clsid) == S_OK && clsid == CLSID_CTavJIT);
  _CTavJIT* jit = nullptr;
  CHECK(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__CTavJIT,
                                   reinterpret_cast<void**>(&jit))));
  if (jit) {
    IProvideClassInfo2* info = nullptr;
    GUID source{};
    CHECK(SUCCEEDED(jit->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info))));
    CHECK(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK &&
          source == DIID___CTavJIT);
    info->Release();
    CheckErrorBeforeInit(jit);
    CheckEvents(jit, argv[2]);
    CheckUnicode(jit);
    CHECK(jit->Release() == 0);
  }
  CoUninitialize();
  CheckUnloading(argv[1]);
  if (failures == 0) std::printf("com client: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
