// The automation class on COM: a class factory registered while the program was started for
// automation, making objects with an empty dispatch interface. Each factory serves one object
// (REGCLS_SINGLEUSE), so every client object gets a program of its own.
#include "platform/automation.h"

#include <windows.h>
#include <ole2.h>

#include <atomic>

#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace {

// Per user, so that an ordinary account without administrator rights can register: the
// entries go below HKEY_CURRENT_USER\Software\Classes, which COM reads before the machine's.
constexpr RegistryRoot kClasses = RegistryRoot::CurrentUserClasses;
std::string ClsidKey() { return std::string("CLSID\\") + kAutomationClsid; }
std::string ProgIdKey() { return kAutomationProgId; }

bool WriteEntries(RegistryRoot root, const std::string& serverPath) {
  return RegistryWriteString(root, ProgIdKey(), "", "Altivane Application") &&
         RegistryWriteString(root, ProgIdKey() + "\\CLSID", "", kAutomationClsid) &&
         RegistryWriteString(root, ClsidKey(), "", "Altivane Application") &&
         RegistryWriteString(root, ClsidKey() + "\\ProgID", "", kAutomationProgId) &&
         RegistryWriteString(root, ClsidKey() + "\\LocalServer32", "", "\"" + serverPath + "\"");
}

}  // namespace

bool RegisterAutomationClass(const std::string& serverPath) {
  if (!WriteEntries(kClasses, serverPath)) return false;
  // Windows reads the user's classes through HKEY_CLASSES_ROOT; a system that does not (Wine)
  // gets the entries in the machine's classes too, where it can write them.
  std::string seen;
  if (RegistryReadString(RegistryRoot::ClassesRoot, ProgIdKey() + "\\CLSID", "", 64, seen) && seen == kAutomationClsid)
    return true;
  WriteEntries(RegistryRoot::ClassesRoot, serverPath);
  return true;
}

bool UnregisterAutomationClass() {
  bool removed = RegistryDeleteTree(kClasses, ProgIdKey());
  removed = RegistryDeleteTree(kClasses, ClsidKey()) && removed;
  // Entries left in the machine's classes (by the fallback above, or by earlier versions).
  // Without the rights to remove them there, only the user's own count.
  std::string seen;
  if (RegistryReadString(RegistryRoot::ClassesRoot, ProgIdKey() + "\\CLSID", "", 64, seen)) {
    RegistryDeleteTree(RegistryRoot::ClassesRoot, ProgIdKey());
    RegistryDeleteTree(RegistryRoot::ClassesRoot, ClsidKey());
  }
  return removed;
}

namespace {

GUID ParseGuid(const char* text) {
  GUID guid{};
  CLSIDFromString(Widen(text).c_str(), &guid);
  return guid;
}

// The object: IDispatch without members. Holding it is all a client does with it.
class AutomationObject : public IDispatch {
 public:
  explicit AutomationObject(AutomationServer::Callback onRelease) : m_OnRelease(std::move(onRelease)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == ParseGuid(kAutomationDispatchIid)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_References; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_References;
    if (left == 0) {
      if (m_OnRelease) m_OnRelease();
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  virtual ~AutomationObject() = default;
  std::atomic<ULONG> m_References{1};
  AutomationServer::Callback m_OnRelease;
};

class AutomationFactory : public IClassFactory {
 public:
  AutomationFactory(AutomationServer::Callback onCreate, AutomationServer::Callback onRelease)
      : m_OnCreate(std::move(onCreate)), m_OnRelease(std::move(onRelease)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_References; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_References;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new AutomationObject(m_OnRelease);
    if (m_OnCreate) m_OnCreate();
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();  // the client's reference is the one QueryInterface added
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  virtual ~AutomationFactory() = default;
  std::atomic<ULONG> m_References{1};
  AutomationServer::Callback m_OnCreate, m_OnRelease;
};

}  // namespace

struct AutomationServer::Impl {
  DWORD cookie = 0;
};

AutomationServer::AutomationServer() : m_Impl(std::make_unique<Impl>()) {}

AutomationServer::~AutomationServer() { Stop(); }

// The endpoint is COM's own on Windows; the argument is not used. Objects are made and let go
// on the registering thread, through its message loop.
bool AutomationServer::Start(const std::string&, Callback onCreate, Callback onRelease) {
  Stop();
  auto* factory = new AutomationFactory(std::move(onCreate), std::move(onRelease));
  const HRESULT result = CoRegisterClassObject(ParseGuid(kAutomationClsid), factory, CLSCTX_LOCAL_SERVER,
                                               REGCLS_SINGLEUSE, &m_Impl->cookie);
  factory->Release();
  if (FAILED(result)) m_Impl->cookie = 0;
  return SUCCEEDED(result);
}

void AutomationServer::Stop() {
  if (m_Impl && m_Impl->cookie) {
    CoRevokeClassObject(m_Impl->cookie);
    m_Impl->cookie = 0;
  }
}
