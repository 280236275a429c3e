// The type library is what script callers see: JScript pages and outside
// programs bind to members by name through it, and the typelib marshaller
// and ITypeInfo::Invoke place calls on the vtable from its descriptions.
// These tests load the built .tlb the way the host will (no registration)
// and check it against the C++ header the host implements.
#include "FrameworkLib.h"

#include "Bstr.h"
#include "ComPtr.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kTypeLibPath[] = L"" MIRDEX_TLB;

// A block a type library hands out and wants back through its own release
// member (TYPEATTR, FUNCDESC, TLIBATTR).
template <typename Owner, typename Block>
class InfoBlock {
public:
  using ReleaseMember = void (STDMETHODCALLTYPE Owner::*)(Block*);

  InfoBlock(Owner* owner, ReleaseMember release) noexcept : m_owner(owner), m_release(release) {}
  InfoBlock(const InfoBlock&) = delete;
  InfoBlock& operator=(const InfoBlock&) = delete;
  ~InfoBlock() {
    if (m_block) (m_owner.get()->*m_release)(m_block);
  }

  Block** put() noexcept { return &m_block; }
  const Block* operator->() const noexcept { return m_block; }
  const Block& operator*() const noexcept { return *m_block; }

private:
  ComPtr<Owner> m_owner;
  ReleaseMember m_release;
  Block* m_block = nullptr;
};

using TypeAttr = InfoBlock<ITypeInfo, TYPEATTR>;
using FuncDesc = InfoBlock<ITypeInfo, FUNCDESC>;
using LibAttr = InfoBlock<ITypeLib, TLIBATTR>;

std::wstring nameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  Bstr name;
  if (FAILED(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr))) return L"?";
  return name.str();
}

// The type that impl-type slot `index` of `info` refers to: -1 is the vtable
// half of a dual interface, 0 the base of an interface or the first
// interface of a coclass.
ComPtr<ITypeInfo> referencedType(ITypeInfo* info, int index) {
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> target;
  if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(index), &ref))) info->GetRefTypeInfo(ref, target.put());
  return target;
}

// GUIDs compared as text, so that a failure shows both values.
std::wstring text(REFGUID id) {
  wchar_t buffer[40] = {};
  return ::StringFromGUID2(id, buffer, 40) ? buffer : L"?";
}

GUID guidOf(ITypeInfo* info) {
  TypeAttr attr(info, &ITypeInfo::ReleaseTypeAttr);
  if (FAILED(info->GetTypeAttr(attr.put()))) return GUID_NULL;
  return attr->guid;
}

// Arguments go in script order; Invoke wants them last to first.
HRESULT callByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant> args,
                   Variant* result = nullptr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::reverse(args.begin(), args.end());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  EXCEPINFO error{};
  UINT badArgument = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? result->put() : nullptr,
                      &error, &badArgument);
  Bstr::attach(error.bstrSource);
  Bstr::attach(error.bstrDescription);
  Bstr::attach(error.bstrHelpFile);
  return hr;
}

class FrameworkTypeLib : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(kTypeLibPath, REGKIND_NONE, m_lib.put())) << kTypeLibPath;
  }

  ComPtr<ITypeInfo> typeInfo(REFGUID id) const {
    ComPtr<ITypeInfo> info;
    m_lib->GetTypeInfoOfGuid(id, info.put());
    return info;
  }

  // The half of a type that carries the function descriptions with their
  // real signatures: the vtable interface of a dual, the type itself else.
  ComPtr<ITypeInfo> signatureView(REFGUID id) const {
    ComPtr<ITypeInfo> info = typeInfo(id);
    if (!info) return info;
    TypeAttr attr(info.get(), &ITypeInfo::ReleaseTypeAttr);
    if (FAILED(info->GetTypeAttr(attr.put()))) return nullptr;
    if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) return referencedType(info.get(), -1);
    return info;
  }

  struct FunctionRef {
    ComPtr<ITypeInfo> owner;
    UINT index = 0;
  };

  // Where member `id` of `kind` is described: on the interface itself or on
  // one of its bases.
  static std::optional<FunctionRef> findFunction(ComPtr<ITypeInfo> owner, MEMBERID id, INVOKEKIND kind) {
    for (; owner; owner = referencedType(owner.get(), 0)) {
      TypeAttr attr(owner.get(), &ITypeInfo::ReleaseTypeAttr);
      if (FAILED(owner->GetTypeAttr(attr.put()))) break;
      for (UINT i = 0; i < attr->cFuncs; ++i) {
        FuncDesc func(owner.get(), &ITypeInfo::ReleaseFuncDesc);
        if (SUCCEEDED(owner->GetFuncDesc(i, func.put())) && func->memid == id && func->invkind == kind)
          return FunctionRef{owner, i};
      }
      if (attr->typekind == TKIND_DISPATCH) break;  // a plain dispinterface has no base to search
    }
    return std::nullopt;
  }

  // A late-bound view of `object` driven by this library, as the host builds
  // for its objects: every call goes through ITypeInfo::Invoke.
  ComPtr<IDispatch> scriptView(IUnknown* object, REFIID iid) const {
    ComPtr<ITypeInfo> info = signatureView(iid);
    ComPtr<IUnknown> dispatcher;
    ComPtr<IDispatch> dispatch;
    if (info && SUCCEEDED(::CreateStdDispatch(nullptr, object, info.get(), dispatcher.put())))
      dispatcher.As(IID_IDispatch, dispatch);
    return dispatch;
  }

  ComPtr<ITypeLib> m_lib;
};

TEST_F(FrameworkTypeLib, DescribesItselfAsTheRegisteredLibrary) {
  LibAttr attr(m_lib.get(), &ITypeLib::ReleaseTLibAttr);
  ASSERT_EQ(S_OK, m_lib->GetLibAttr(attr.put()));
  EXPECT_EQ(text(LIBID_FrameworkLib), text(attr->guid));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);

  Bstr name, doc;
  ASSERT_EQ(S_OK, m_lib->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr));
  EXPECT_EQ(L"FrameworkLib", name.str());
  EXPECT_EQ(L"Framework 1.0 Type Library", doc.str());
}

struct DualCase {
  const wchar_t* name;
  const IID& iid;
  const IID& base;
};

const DualCase kDualInterfaces[] = {
    {L"IFrameworkPlugin", IID_IFrameworkPlugin, IID_IDispatch},
    {L"IFrameworkController", IID_IFrameworkController, IID_IDispatch},
    {L"IFrameworkShell", IID_IFrameworkShell, IID_IDispatch},
    {L"IConfig", IID_IConfig, IID_IFrameworkPlugin},
    {L"ILogger", IID_ILogger, IID_IFrameworkPlugin},
    {L"IObjectList", IID_IObjectList, IID_IDispatch},
    {L"IStringList", IID_IStringList, IID_IObjectList},
    {L"IObjectPair", IID_IObjectPair, IID_IDispatch},
    {L"IStringObjectMap", IID_IStringObjectMap, IID_IDispatch},
    {L"IIntegerObjectMap", IID_IIntegerObjectMap, IID_IDispatch},
    {L"IErrorObject", IID_IErrorObject, IID_IDispatch},
    {L"IMirdexAccessServer", IID_IMirdexAccessServer, IID_IDispatch},
};

// Scripts reach every object through the dispatch half, callers that bind
// early through the vtable half; both must be found by the header's IID, and
// a derived interface must keep its base so that script sees inherited
// members (a service's PluginName through its own interface).
TEST_F(FrameworkTypeLib, EveryDualInterfaceIsFoundByIidWithItsBase) {
  for (const DualCase& c : kDualInterfaces) {
    SCOPED_TRACE(::testing::Message() << c.name);
    ComPtr<ITypeInfo> dispatchHalf = typeInfo(c.iid);
    ASSERT_TRUE(dispatchHalf);
    EXPECT_EQ(c.name, nameOf(dispatchHalf.get()));
    {
      TypeAttr attr(dispatchHalf.get(), &ITypeInfo::ReleaseTypeAttr);
      ASSERT_EQ(S_OK, dispatchHalf->GetTypeAttr(attr.put()));
      EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
      EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    }

    ComPtr<ITypeInfo> vtableHalf = referencedType(dispatchHalf.get(), -1);
    ASSERT_TRUE(vtableHalf);
    TypeAttr attr(vtableHalf.get(), &ITypeInfo::ReleaseTypeAttr);
    ASSERT_EQ(S_OK, vtableHalf->GetTypeAttr(attr.put()));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(text(c.iid), text(attr->guid));
    // What lets the standard automation marshaller carry vtable calls
    // between the host and outside processes.
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);

    ComPtr<ITypeInfo> base = referencedType(vtableHalf.get(), 0);
    ASSERT_TRUE(base);
    EXPECT_EQ(text(c.base), text(guidOf(base.get()))) << nameOf(base.get());
  }
}

struct ClassCase {
  const wchar_t* name;
  const CLSID& clsid;
  const IID& defaultInterface;
  const IID& defaultSource;  // GUID_NULL: the class fires no events
  bool creatable;
};

// The controller and the shell exist only inside the host, without a class
// factory; everything else is created by class from any process.
const ClassCase kClasses[] = {
    {L"FrameworkController", CLSID_FrameworkController, IID_IFrameworkController,
     DIID__IFrameworkControllerEvents, false},
    {L"FrameworkShell", CLSID_FrameworkShell, IID_IFrameworkShell, GUID_NULL, false},
    {L"ObjectList", CLSID_ObjectList, IID_IObjectList, GUID_NULL, true},
    {L"StringList", CLSID_StringList, IID_IStringList, GUID_NULL, true},
    {L"ObjectPair", CLSID_ObjectPair, IID_IObjectPair, GUID_NULL, true},
    {L"StringObjectMap", CLSID_StringObjectMap, IID_IStringObjectMap, GUID_NULL, true},
    {L"IntegerObjectMap", CLSID_IntegerObjectMap, IID_IIntegerObjectMap, GUID_NULL, true},
    {L"ErrorObject", CLSID_ErrorObject, IID_IErrorObject, GUID_NULL, true},
    {L"Config", CLSID_Config, IID_IConfig, GUID_NULL, true},
    {L"Logger", CLSID_Logger, IID_ILogger, GUID_NULL, true},
    {L"MirdexAccessServer", CLSID_MirdexAccessServer, IID_IMirdexAccessServer, GUID_NULL, true},
};

TEST_F(FrameworkTypeLib, ClassesNameTheirDefaultInterfaces) {
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(::testing::Message() << c.name);
    ComPtr<ITypeInfo> info = typeInfo(c.clsid);
    ASSERT_TRUE(info);
    EXPECT_EQ(c.name, nameOf(info.get()));
    TypeAttr attr(info.get(), &ITypeInfo::ReleaseTypeAttr);
    ASSERT_EQ(S_OK, info->GetTypeAttr(attr.put()));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_EQ(c.creatable, (attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0);

    GUID defaultInterface = GUID_NULL, defaultSource = GUID_NULL;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
      INT flags = 0;
      ASSERT_EQ(S_OK, info->GetImplTypeFlags(i, &flags));
      if (!(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
      ComPtr<ITypeInfo> implemented = referencedType(info.get(), static_cast<int>(i));
      ASSERT_TRUE(implemented);
      ((flags & IMPLTYPEFLAG_FSOURCE) ? defaultSource : defaultInterface) = guidOf(implemented.get());
    }
    EXPECT_EQ(text(c.defaultInterface), text(defaultInterface));
    EXPECT_EQ(text(c.defaultSource), text(defaultSource));
  }
}

struct MemberCase {
  // A pointer, not a reference: GCC 12 leaves a reference member null in an
  // aggregate array that needs dynamic initialisation (the vectors below).
  const IID* iid;
  const wchar_t* name;
  DISPID id;
  INVOKEKIND kind;
  std::vector<VARTYPE> in;  // the [in] parameters, in order
  VARTYPE result;           // what the [out, retval] pointer points to; VT_EMPTY for none
};

// Spot checks of what pages and services call by name. Interface pointers
// show as VT_PTR.
const MemberCase kMembers[] = {
    {&IID_IFrameworkController, L"Name", 1, INVOKE_PROPERTYGET, {}, VT_BSTR},
    {&IID_IFrameworkController, L"LoadService", 10, INVOKE_FUNC, {VT_BSTR}, VT_PTR},
    {&IID_IFrameworkController, L"AddService", 11, INVOKE_FUNC, {VT_BSTR, VT_BSTR, VT_PTR}, VT_EMPTY},
    {&IID_IFrameworkController, L"onLaunchString", 22, INVOKE_PROPERTYPUT, {VT_VARIANT}, VT_EMPTY},
    {&IID_IFrameworkController, L"GetLaunchString", 23, INVOKE_FUNC, {VT_BOOL}, VT_PTR},
    {&IID_IFrameworkController, L"SetExternalAccess", 27, INVOKE_FUNC, {VT_BSTR, VT_I4, VT_BOOL}, VT_EMPTY},
    {&IID_IFrameworkController, L"ChangeMainWindow", 30, INVOKE_FUNC, {VT_BSTR, VT_VARIANT, VT_VARIANT}, VT_EMPTY},
    {&IID_IFrameworkController, L"Decode", 36, INVOKE_FUNC, {VT_BSTR, VT_BSTR}, VT_BSTR},
    {&IID_IFrameworkShell, L"Controller", 0x1, INVOKE_PROPERTYGET, {}, VT_PTR},
    {&IID_IFrameworkShell, L"WindowSystemCommand", 0xa, INVOKE_FUNC, {VT_INT}, VT_EMPTY},
    {&IID_IFrameworkShell, L"WindowType", 0xc, INVOKE_PROPERTYPUT, {VT_I2}, VT_EMPTY},
    {&IID_IFrameworkShell, L"GetWindowAppBarSide", 0x29, INVOKE_FUNC, {}, VT_UINT},
    {&IID_IFrameworkShell, L"onExitNow", 0x35, INVOKE_PROPERTYGET, {}, VT_VARIANT},
    {&IID_IFrameworkShell, L"IsWindowInSystemTray", 0x3a, INVOKE_PROPERTYGET, {}, VT_BOOL},
    {&IID_IFrameworkShell, L"LaunchProgram", 0x3b, INVOKE_FUNC, {VT_BSTR, VT_BSTR, VT_BSTR, VT_I4}, VT_EMPTY},
    // inherited members seen through the derived interfaces
    {&IID_IConfig, L"PluginName", 1, INVOKE_PROPERTYGET, {}, VT_BSTR},
    {&IID_IConfig, L"Framework", 10, INVOKE_PROPERTYPUT, {VT_PTR}, VT_EMPTY},
    {&IID_IConfig, L"GetBoolean", 1026, INVOKE_FUNC, {VT_BSTR, VT_BOOL}, VT_BOOL},
    {&IID_ILogger, L"Name", 1001, INVOKE_PROPERTYGET, {}, VT_BSTR},
    {&IID_IStringList, L"CopyFrom", 8, INVOKE_FUNC, {VT_PTR}, VT_EMPTY},
    {&IID_IStringList, L"FindStr", 1004, INVOKE_FUNC, {VT_BSTR, VT_BOOL}, VT_I4},
    // the controller's event, fired to connected sinks
    {&DIID__IFrameworkControllerEvents, L"onLaunchString", 1, INVOKE_FUNC, {VT_PTR}, VT_EMPTY},
};

TEST_F(FrameworkTypeLib, ScriptNamesResolveToTheirDispidsAndSignatures) {
  for (const MemberCase& c : kMembers) {
    SCOPED_TRACE(::testing::Message() << c.name << " (" << text(*c.iid) << ")");
    ComPtr<ITypeInfo> scriptHalf = typeInfo(*c.iid);
    ASSERT_TRUE(scriptHalf);
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    MEMBERID id = MEMBERID_NIL;
    ASSERT_EQ(S_OK, scriptHalf->GetIDsOfNames(names, 1, &id));
    EXPECT_EQ(c.id, id);

    std::optional<FunctionRef> ref = findFunction(signatureView(*c.iid), c.id, c.kind);
    ASSERT_TRUE(ref);
    FuncDesc func(ref->owner.get(), &ITypeInfo::ReleaseFuncDesc);
    ASSERT_EQ(S_OK, ref->owner->GetFuncDesc(ref->index, func.put()));
    std::vector<VARTYPE> in;
    VARTYPE result = VT_EMPTY;
    for (SHORT p = 0; p < func->cParams; ++p) {
      const ELEMDESC& param = func->lprgelemdescParam[p];
      if (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
        ASSERT_EQ(VT_PTR, param.tdesc.vt);
        result = param.tdesc.lptdesc->vt;
      } else {
        EXPECT_TRUE(param.paramdesc.wParamFlags & PARAMFLAG_FIN) << "parameter " << p;
        in.push_back(param.tdesc.vt);
      }
    }
    EXPECT_EQ(c.in, in);
    EXPECT_EQ(c.result, result);
  }
}

struct SlotCase {
  const IID* iid;
  const wchar_t* name;
  DISPID id;
  INVOKEKIND kind;
  int slot;  // IUnknown and IDispatch take slots 0 to 6
};

// Calls that programs built outside this tree make through the vtable: the
// controller calls every service's plug-in members, and the access client
// calls LoadService and ChangeMainWindow on the host. These must never move.
const SlotCase kPinnedSlots[] = {
    {&IID_IFrameworkPlugin, L"PluginName", 1, INVOKE_PROPERTYGET, 7},
    {&IID_IFrameworkPlugin, L"PluginDesc", 2, INVOKE_PROPERTYGET, 8},
    {&IID_IFrameworkPlugin, L"PluginBaseUrl", 4, INVOKE_PROPERTYGET, 10},
    {&IID_IFrameworkPlugin, L"Framework", 10, INVOKE_PROPERTYPUT, 11},
    {&IID_IFrameworkPlugin, L"Framework", 10, INVOKE_PROPERTYGET, 12},
    {&IID_IFrameworkController, L"LoadService", 10, INVOKE_FUNC, 15},
    {&IID_IFrameworkController, L"ChangeMainWindow", 30, INVOKE_FUNC, 29},
};

TEST_F(FrameworkTypeLib, MembersCalledFromOutsideKeepTheirVtableSlots) {
  for (const SlotCase& c : kPinnedSlots) {
    SCOPED_TRACE(::testing::Message() << c.name << " (" << text(*c.iid) << ")");
    std::optional<FunctionRef> ref = findFunction(signatureView(*c.iid), c.id, c.kind);
    ASSERT_TRUE(ref);
    FuncDesc func(ref->owner.get(), &ITypeInfo::ReleaseFuncDesc);
    ASSERT_EQ(S_OK, ref->owner->GetFuncDesc(ref->index, func.put()));
    EXPECT_EQ(c.slot, func->oVft / static_cast<SHORT>(sizeof(void*)));
  }
}

// Boilerplate of the stand-in objects below. They live on the test's stack,
// so reference counting does nothing.
template <typename Interface, const IID& interfaceId>
class StandIn : public Interface {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IDispatch) && !::IsEqualIID(iid, interfaceId))
      return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

class StandInPlugin final : public StandIn<IFrameworkPlugin, IID_IFrameworkPlugin> {
public:
  HRESULT STDMETHODCALLTYPE get_PluginName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PluginDesc(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PluginTarget(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PluginBaseUrl(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Framework(IFrameworkController*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Framework(IFrameworkController**) override { return E_NOTIMPL; }
};

// Records the members that the late-bound calls below must land on; any
// other member answers E_NOTIMPL, so a call that lands on the wrong vtable
// slot shows as a failed call.
class StandInController final : public StandIn<IFrameworkController, IID_IFrameworkController> {
public:
  std::wstring loadedName;
  StandInPlugin plugin;
  std::wstring changeOp;
  Variant changeP1, changeP2;
  std::wstring accessPath;
  LONG accessCid = 0;
  VARIANT_BOOL accessGrant = VARIANT_FALSE;
  Variant launchHandler;

  HRESULT STDMETHODCALLTYPE LoadService(BSTR name, IFrameworkPlugin** service) override {
    loadedName.assign(name, ::SysStringLen(name));
    *service = &plugin;
    plugin.AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ChangeMainWindow(BSTR op, VARIANT p1, VARIANT p2) override {
    changeOp.assign(op, ::SysStringLen(op));
    HRESULT hr = changeP1.assign(p1);
    return SUCCEEDED(hr) ? changeP2.assign(p2) : hr;
  }
  HRESULT STDMETHODCALLTYPE SetExternalAccess(BSTR path, LONG cid, VARIANT_BOOL grant) override {
    accessPath.assign(path, ::SysStringLen(path));
    accessCid = cid;
    accessGrant = grant;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_onLaunchString(VARIANT handler) override { return launchHandler.assign(handler); }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Desc(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Locale(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Locale(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_BaseUrl(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ProductVersion(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddService(BSTR, BSTR, IFrameworkPlugin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveService(BSTR, BSTR, IFrameworkPlugin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MainWindow(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenWindow(BSTR, BSTR, LONG, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onLaunchString(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLaunchString(VARIANT_BOOL, IStringObjectMap**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLaunchString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Restart() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onExternalAccess(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onExternalAccess(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExternalAccess() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onChangeMainWindow(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onChangeMainWindow(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Encode(BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Decode(BSTR, BSTR, BSTR*) override { return E_NOTIMPL; }
};

// The access client calls LoadService and ChangeMainWindow through the
// vtable; pages call them by name. Both roads must reach the same member
// with the arguments in script order.
TEST_F(FrameworkTypeLib, LateBoundCallsReachTheControllerMembers) {
  StandInController controller;
  ComPtr<IDispatch> script = scriptView(static_cast<IFrameworkController*>(&controller), IID_IFrameworkController);
  ASSERT_TRUE(script);

  Variant service;
  ASSERT_EQ(S_OK, callByName(script.get(), L"LoadService", DISPATCH_METHOD, {Variant(L"Logger")}, &service));
  EXPECT_EQ(L"Logger", controller.loadedName);
  ASSERT_EQ(VT_DISPATCH, service.type());
  EXPECT_TRUE(sameComObject(V_DISPATCH(&service), static_cast<IFrameworkPlugin*>(&controller.plugin)));

  ASSERT_EQ(S_OK, callByName(script.get(), L"ChangeMainWindow", DISPATCH_METHOD,
                             {Variant(L"SilentMode"), Variant(true), Variant()}));
  EXPECT_EQ(L"SilentMode", controller.changeOp);
  ASSERT_EQ(VT_BOOL, controller.changeP1.type());
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&controller.changeP1));
  EXPECT_EQ(VT_EMPTY, controller.changeP2.type());

  // Script numbers arrive as VT_I4 and script booleans as VT_BOOL.
  ASSERT_EQ(S_OK, callByName(script.get(), L"SetExternalAccess", DISPATCH_METHOD,
                             {Variant(L"C:\\Tools\\client.exe"), Variant(2), Variant(true)}));
  EXPECT_EQ(L"C:\\Tools\\client.exe", controller.accessPath);
  EXPECT_EQ(2, controller.accessCid);
  EXPECT_EQ(VARIANT_TRUE, controller.accessGrant);

  ASSERT_EQ(S_OK, callByName(script.get(), L"onLaunchString", DISPATCH_PROPERTYPUT,
                             {Variant(static_cast<IDispatch*>(&controller.plugin))}));
  ASSERT_EQ(VT_DISPATCH, controller.launchHandler.type());
  EXPECT_TRUE(sameComObject(V_DISPATCH(&controller.launchHandler), static_cast<IFrameworkPlugin*>(&controller.plugin)));
}

class StandInShell final : public StandIn<IFrameworkShell, IID_IFrameworkShell> {
public:
  int command = 0;
  short windowType = 0;
  int left = 0, top = 0;
  VARIANT_BOOL onTop = VARIANT_FALSE;
  Variant exitHandler{L"unset"};
  unsigned int dockedEdge = 8;
  VARIANT_BOOL inTray = 1;  // the shell reports "in the tray" as 1, not VARIANT_TRUE

  HRESULT STDMETHODCALLTYPE WindowSystemCommand(int cmd) override {
    command = cmd;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_WindowType(short value) override {
    windowType = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveWindowTo(int x, int y) override {
    left = x;
    top = y;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetWindowAlwaysOnTop(VARIANT_BOOL value) override {
    onTop = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_onExitNow(VARIANT handler) override { return exitHandler.assign(handler); }
  HRESULT STDMETHODCALLTYPE GetWindowAppBarSide(unsigned int* side) override {
    *side = dockedEdge;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsWindowInSystemTray(VARIANT_BOOL* value) override {
    *value = inTray;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_Controller(IFrameworkController**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_QueryString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_QueryString(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HtmlWindow(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_HtmlWindow(IDispatch*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWindowStyle(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowType(short*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LoadBackground(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetShortcutDir(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWindowSize(int, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowPosX(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowPosY(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowMovedProc(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_WindowMovedProc(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UpdateWindowMovement(int, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MinimizeToSystemTray() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RestoreFromSystemTray() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMinimumWindowSize(int, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_dropFilePath(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE enableDropFile(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE launchApp(BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE invokeShareWebBrowser(BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE invokeShareWhiteboard(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE bringWindowToTop(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE setWindowVisible(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindowHandle(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWindowTranslucent(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWindowShadow(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowStatusInSystemTray(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAppBarAutoHide(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OnDockStateChange(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_OnDockStateChange(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DetectShowAppBar() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OnFullScreenApp(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_OnFullScreenApp(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoShowAppBar() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableInput(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTrayIconTooltip(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAutoRun(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onExitNow(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAutoRun(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowIconInSystemTray() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onOpenConfig(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onOpenConfig(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onRestoreMirdexFromSystemTray(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onRestoreMirdexFromSystemTray(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LaunchProgram(BSTR, BSTR, BSTR, LONG) override { return E_NOTIMPL; }
};

// The shell declares int, short and unsigned int members; script passes
// every number as VT_I4, which the automation layer must narrow on the way
// in, and the results must come back with their declared types.
TEST_F(FrameworkTypeLib, ScriptValuesReachTheShellWithTheirDeclaredTypes) {
  StandInShell shell;
  ComPtr<IDispatch> script = scriptView(static_cast<IFrameworkShell*>(&shell), IID_IFrameworkShell);
  ASSERT_TRUE(script);

  ASSERT_EQ(S_OK, callByName(script.get(), L"WindowSystemCommand", DISPATCH_METHOD, {Variant(13)}));
  EXPECT_EQ(13, shell.command);
  ASSERT_EQ(S_OK, callByName(script.get(), L"WindowType", DISPATCH_PROPERTYPUT, {Variant(1)}));
  EXPECT_EQ(1, shell.windowType);
  ASSERT_EQ(S_OK, callByName(script.get(), L"MoveWindowTo", DISPATCH_METHOD, {Variant(-5), Variant(700)}));
  EXPECT_EQ(-5, shell.left);
  EXPECT_EQ(700, shell.top);
  ASSERT_EQ(S_OK, callByName(script.get(), L"SetWindowAlwaysOnTop", DISPATCH_METHOD, {Variant(true)}));
  EXPECT_EQ(VARIANT_TRUE, shell.onTop);

  // A page clears a callback slot by storing null.
  Variant null;
  V_VT(&null) = VT_NULL;
  ASSERT_EQ(S_OK, callByName(script.get(), L"onExitNow", DISPATCH_PROPERTYPUT, {null}));
  EXPECT_EQ(VT_NULL, shell.exitHandler.type());

  Variant side;
  ASSERT_EQ(S_OK, callByName(script.get(), L"GetWindowAppBarSide", DISPATCH_METHOD, {}, &side));
  // The automation layer may hand an unsigned int back as VT_UI4 (Wine
  // does); script reads either as the same number.
  ASSERT_TRUE(side.type() == VT_UINT || side.type() == VT_UI4) << side.type();
  EXPECT_EQ(8u, V_UI4(&side));

  Variant inTray;
  ASSERT_EQ(S_OK, callByName(script.get(), L"IsWindowInSystemTray", DISPATCH_PROPERTYGET, {}, &inTray));
  ASSERT_EQ(VT_BOOL, inTray.type());
  EXPECT_EQ(1, V_BOOL(&inTray));

  // A number too large for the declared short is refused, not truncated.
  EXPECT_TRUE(FAILED(callByName(script.get(), L"WindowType", DISPATCH_PROPERTYPUT, {Variant(70000)})));
  EXPECT_EQ(1, shell.windowType);
}

}  // namespace
