// What the component's objects share: the DLL's handle and the counts that
// DllCanUnloadNow reads, and the conversions between the library's UTF-8
// and the platform's UTF-16 strings.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace tavcom {

extern HINSTANCE g_module;

// Live objects of the DLL (every object whose code is in it) and locks
// taken through IClassFactory::LockServer or held by class factories.
void ObjectCreated();
void ObjectDestroyed();
void Lock();
void Unlock();
bool CanUnload();

std::string Utf8(const wchar_t* s, size_t n);
std::wstring Wide(std::string_view utf8);
inline std::string Utf8(BSTR s) { return Utf8(s, s ? SysStringLen(s) : 0); }
// A new BSTR, nullptr when out of memory.
BSTR Bstr(std::string_view utf8);

// Keeps the DLL loaded while an object of it lives.
class ModuleObject {
 protected:
  ModuleObject() { ObjectCreated(); }
  ~ModuleObject() { ObjectDestroyed(); }
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;
};

// Creates a CTavJIT object and queries it for riid.
HRESULT CreateCTavJIT(REFIID riid, void** out);

}  // namespace tavcom
