// CTavJIT as a COM object: the dual interface _CTavJIT over the library's
// CTavJIT, its events through a connection point for __CTavJIT, and the
// error of Execute before Init through the platform's error information.
#include <olectl.h>

#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "TavJIT.h"
#include "module.h"
#include "tavjit/tavjit.hpp"

namespace tavcom {

namespace {

constexpr DISPID kErrorMessage = 1, kWarningMessage = 2;

// The type information of guid, from the type library inside this DLL, so
// that the object works whether or not the library is registered.
HRESULT LoadTypeInfo(REFGUID guid, ITypeInfo** out) {
  *out = nullptr;
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return E_FAIL;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  hr = lib->GetTypeInfoOfGuid(guid, out);
  lib->Release();
  return hr;
}

// Sets the calling thread's error information and returns hr, which a
// script then reads as Err.Number, Err.Source and Err.Description.
HRESULT Raise(HRESULT hr, std::string_view source, std::string_view description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return hr;
  create->SetGUID(IID__CTavJIT);
  std::wstring s = Wide(source), d = Wide(description);
  create->SetSource(s.data());
  create->SetDescription(d.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return hr;
}

void AddRefItem(const CONNECTDATA& c) { c.pUnk->AddRef(); }
void ReleaseItem(const CONNECTDATA& c) { c.pUnk->Release(); }
void AddRefItem(IConnectionPoint* p) { p->AddRef(); }
void ReleaseItem(IConnectionPoint* p) { p->Release(); }

// IEnumConnections and IEnumConnectionPoints over a snapshot, each item
// holding a reference for as long as the enumerator lives.
template <class Interface, class Item>
class Enumerator final : public Interface, ModuleObject {
 public:
  Enumerator(const IID& iid, std::vector<Item> items, size_t pos = 0)
      : iid_(iid), items_(std::move(items)), pos_(pos) {
    for (const Item& i : items_) AddRefItem(i);
  }
  ~Enumerator() {
    for (const Item& i : items_) ReleaseItem(i);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == iid_) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && pos_ < items_.size(); ++n, ++pos_) {
      out[n] = items_[pos_];
      AddRefItem(out[n]);
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const size_t left = items_.size() - pos_;
    pos_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) Enumerator(iid_, items_, pos_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  LONG refs_ = 1;
  const IID& iid_;
  std::vector<Item> items_;
  size_t pos_;
};

class Component;

// The one connection point, for __CTavJIT. It lives inside its container
// and counts its references there.
class Point final : public IConnectionPoint {
 public:
  explicit Point(Component& owner) : owner_(owner) {}
  ~Point() {
    for (const Sink& s : sinks_) s.sink->Release();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
      *out = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* out) override {
    if (!out) return E_POINTER;
    *out = DIID___CTavJIT;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;

  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch* d = nullptr;
    if (FAILED(sink->QueryInterface(DIID___CTavJIT, reinterpret_cast<void**>(&d))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))))
      return CONNECT_E_CANNOTCONNECT;
    try {
      sinks_.push_back({++last_cookie_, d});
    } catch (const std::bad_alloc&) {
      d->Release();
      return E_OUTOFMEMORY;
    }
    *cookie = last_cookie_;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->cookie != cookie) continue;
      IDispatch* d = it->sink;
      sinks_.erase(it);
      d->Release();
      return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
  }
  STDMETHODIMP EnumConnections(IEnumConnections** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      std::vector<CONNECTDATA> items;
      for (const Sink& s : sinks_) items.push_back({s.sink, s.cookie});
      *out = new Enumerator<IEnumConnections, CONNECTDATA>(IID_IEnumConnections, std::move(items));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  // Calls every sink advised when the event is raised, in the order they
  // were advised; a sink may advise or unadvise from inside its handler.
  void Fire(DISPID id, const std::string& msg) {
    std::vector<IDispatch*> sinks;
    try {
      for (const Sink& s : sinks_) sinks.push_back(s.sink);
    } catch (const std::bad_alloc&) {
      return;
    }
    for (IDispatch* d : sinks) d->AddRef();
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = Bstr(msg);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    for (IDispatch* d : sinks) {
      if (arg.bstrVal)
        d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                  nullptr);
      d->Release();
    }
    VariantClear(&arg);
  }

 private:
  struct Sink {
    DWORD cookie;
    IDispatch* sink;
  };
  Component& owner_;
  std::vector<Sink> sinks_;
  DWORD last_cookie_ = 0;
};

class Component final : public _CTavJIT,
                        public ISupportErrorInfo,
                        public IConnectionPointContainer,
                        public IProvideClassInfo2,
                        ModuleObject {
 public:
  Component() : point_(*this) {
    jit_.OnErrorMessage([this](const std::string& m) { point_.Fire(kErrorMessage, m); });
    jit_.OnWarningMessage([this](const std::string& m) { point_.Fire(kWarningMessage, m); });
  }
  ~Component() {
    if (info_) info_->Release();
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__CTavJIT)
      *out = static_cast<_CTavJIT*>(this);
    else if (riid == IID_ISupportErrorInfo)
      *out = static_cast<ISupportErrorInfo*>(this);
    else if (riid == IID_IConnectionPointContainer)
      *out = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
      *out = static_cast<IProvideClassInfo2*>(this);
    else
      *out = nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch, through the type information of _CTavJIT.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = DispatchInfo();
    if (SUCCEEDED(hr)) {
      info_->AddRef();
      *out = info_;
    }
    return hr;
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = DispatchInfo();
    return FAILED(hr) ? hr : DispGetIDsOfNames(info_, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = DispatchInfo();
    if (FAILED(hr)) return hr;
    // The type information lives with the object, which an event handler
    // may release while the call runs.
    ITypeInfo* dispatch = info_;
    dispatch->AddRef();
    hr = dispatch->Invoke(static_cast<_CTavJIT*>(this), id, flags, params, result, excep, arg_err);
    dispatch->Release();
    // A failure of the member itself reaches a late-bound caller as an
    // exception carrying the error information.
    if (FAILED(hr) && HRESULT_FACILITY(hr) != FACILITY_DISPATCH && excep) {
      *excep = EXCEPINFO{};
      excep->scode = hr;
      IErrorInfo* info = nullptr;
      if (GetErrorInfo(0, &info) == S_OK) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->Release();
      }
      hr = DISP_E_EXCEPTION;
    }
    return hr;
  }

  // _CTavJIT
  STDMETHODIMP get_Text(BSTR* out) override { return Copy(jit_.Text(), out); }
  STDMETHODIMP get_ErrMsg(BSTR* out) override { return Copy(jit_.ErrMsg(), out); }
  STDMETHODIMP Execute(BSTR sFileName, VARIANT_BOOL* result) override {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    // An event handler may release the host's last reference.
    AddRef();
    HRESULT hr = S_OK;
    try {
      *result = jit_.Execute(Utf8(sFileName)) ? VARIANT_TRUE : VARIANT_FALSE;
    } catch (const tavjit::ExecuteError& e) {
      hr = Raise(e.Number(), e.Source(), e.Description());
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      hr = Raise(E_FAIL, "TAVJIT::Execute", e.what());
    }
    Release();
    return hr;
  }
  STDMETHODIMP Init(BSTR sActionFile) override {
    try {
      jit_.Init(Utf8(sActionFile));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      return Raise(E_FAIL, "TAVJIT::Init", e.what());
    }
  }

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID__CTavJIT ? S_OK : S_FALSE;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      *out = new Enumerator<IEnumConnectionPoints, IConnectionPoint*>(
          IID_IEnumConnectionPoints, {&point_});
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != DIID___CTavJIT) return CONNECT_E_NOCONNECTION;
    point_.AddRef();
    *out = &point_;
    return S_OK;
  }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override {
    if (!out) return E_POINTER;
    return LoadTypeInfo(CLSID_CTavJIT, out);
  }
  STDMETHODIMP GetGUID(DWORD kind, GUID* out) override {
    if (!out) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *out = DIID___CTavJIT;
    return S_OK;
  }

 private:
  HRESULT DispatchInfo() { return info_ ? S_OK : LoadTypeInfo(IID__CTavJIT, &info_); }

  static HRESULT Copy(const std::string& s, BSTR* out) {
    if (!out) return E_POINTER;
    *out = Bstr(s);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  LONG refs_ = 1;
  ITypeInfo* info_ = nullptr;
  Point point_;
  tavjit::CTavJIT jit_;  // after point_: its handlers fire through it
};

STDMETHODIMP_(ULONG) Point::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) Point::Release() { return owner_.Release(); }
STDMETHODIMP Point::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  owner_.AddRef();
  *out = &owner_;
  return S_OK;
}

}  // namespace

HRESULT CreateCTavJIT(REFIID riid, void** out) {
  *out = nullptr;
  Component* c = nullptr;
  try {
    c = new Component;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
  const HRESULT hr = c->QueryInterface(riid, out);
  c->Release();
  return hr;
}

}  // namespace tavcom
