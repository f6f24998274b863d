//===- ServerTest.cpp - Helpers for the server's tests --------------------===//

#include "ServerTest.h"

#include "ObjectMap.h"
#include "Registration.h"
#include "ServerModule.h"
#include "XCollection.h"
#include "XJson.h"

#include <gtest/gtest.h>

namespace ServerTest {

Var Var::I2(SHORT value) {
  Var v;
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

Var Var::I4(LONG value) {
  Var v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

Var Var::R8(double value) {
  Var v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = value;
  return v;
}

Var Var::Str(const wchar_t *text) {
  Var v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

Var Var::Bytes(const char *bytes, UINT length) {
  Var v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringByteLen(bytes, length);
  return v;
}

Var Var::NullStr() {
  Var v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = nullptr;
  return v;
}

Var Var::Missing() {
  Var v;
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

Var Var::RefTo(VARIANT *target) {
  Var v;
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = target;
  return v;
}

std::wstring Var::Text() const {
  if (V_VT(&m_value) != VT_BSTR || V_BSTR(&m_value) == nullptr)
    return std::wstring();
  return std::wstring(V_BSTR(&m_value), SysStringLen(V_BSTR(&m_value)));
}

void ClearError() { SetErrorInfo(0, nullptr); }

const wchar_t kStaleError[] = L"stale error from an earlier call";

void PostStaleError() {
  ComPtr<ICreateErrorInfo> creator;
  ComPtr<IErrorInfo> error;
  if (SUCCEEDED(CreateErrorInfo(&creator)) && SUCCEEDED(creator.As(&error))) {
    creator->SetDescription(const_cast<LPOLESTR>(kStaleError));
    SetErrorInfo(0, error.Get());
  }
}

PostedError TakeError() {
  PostedError error;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info)
    return error;
  error.posted = true;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr)
    error.description.assign(text, SysStringLen(text));
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetSource(&text)) && text != nullptr)
    error.source.assign(text, SysStringLen(text));
  SysFreeString(text);
  info->GetGUID(&error.guid);
  return error;
}

ComPtr<IXCollection> NewCollection() {
  ComPtr<IXCollection> collection;
  EXPECT_EQ(S_OK, VariantCollection::XCollection::Create(IID_IXCollection,
                                                         reinterpret_cast<void **>(collection.GetAddressOf())));
  return collection;
}

ComPtr<IXJson> NewJson() {
  ComPtr<IXJson> json;
  EXPECT_EQ(S_OK, VariantCollection::XJson::Create(IID_IXJson, reinterpret_cast<void **>(json.GetAddressOf())));
  return json;
}

void AddOrFail(IXCollection *collection, const Var &value, const Var &key) {
  EXPECT_EQ(S_OK, collection->Add(value.Get(), key.Get()));
}

ComPtr<IXItem> ItemOf(IXCollection *collection, const Var &selector) {
  ComPtr<IXItem> item;
  if (FAILED(collection->get_Item(selector.Get(), &item)))
    return nullptr;
  return item;
}

LONG CountOf(IXCollection *collection) {
  LONG count = -1;
  EXPECT_EQ(S_OK, collection->get_Count(&count));
  return count;
}

Var ValueOf(IXItem *item) {
  Var value;
  EXPECT_EQ(S_OK, item->get_Value(&value));
  return value;
}

Var KeyOf(IXItem *item) {
  Var key;
  EXPECT_EQ(S_OK, item->get_Key(&key));
  return key;
}

HRESULT Call(IDispatch *object, DISPID member, WORD flags, std::initializer_list<VARIANT> args, VARIANT *result,
             EXCEPINFO *exception) {
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::vector<VARIANT>(reversed.rbegin(), reversed.rend()).swap(reversed);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  UINT argumentError = 0;
  return object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception, &argumentError);
}

void ClearException(EXCEPINFO &exception) {
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = EXCEPINFO{};
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring BesideProgram(const wchar_t *relative) {
  std::wstring path = ProgramPath();
  path.erase(path.find_last_of(L"\\/") + 1);
  path += relative;
  // As the loader names a module: without "..".
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
}

std::wstring ServerPath() { return BesideProgram(VARIANT_COLLECTION_SERVER_FROM_TESTS); }

LoadedServer::LoadedServer(const std::wstring &path, VariantCollection::RegistrationScope scope)
    : m_module(LoadLibraryW(path.c_str())), m_scope(scope) {
  if (m_module == nullptr)
    return;
  wchar_t name[MAX_PATH];
  const DWORD length = GetModuleFileNameW(m_module, name, MAX_PATH);
  m_path.assign(name, length);
}

LoadedServer::~LoadedServer() {
  if (m_module != nullptr)
    FreeLibrary(m_module);
}

HRESULT LoadedServer::Register() const {
  return m_scope == VariantCollection::RegistrationScope::User ? Install(true, L"user") : Call("DllRegisterServer");
}

HRESULT LoadedServer::Unregister() const {
  return m_scope == VariantCollection::RegistrationScope::User ? Install(false, L"user")
                                                               : Call("DllUnregisterServer");
}

HRESULT LoadedServer::Install(bool install, const wchar_t *commandLine) const {
  using Function = HRESULT(STDAPICALLTYPE *)(BOOL, LPCWSTR);
  const Function function = Export<Function>("DllInstall");
  return function != nullptr ? function(install, commandLine) : E_NOTIMPL;
}

HRESULT LoadedServer::Call(const char *name) const {
  using Function = HRESULT(STDAPICALLTYPE *)();
  const Function function = Export<Function>(name);
  return function != nullptr ? function() : E_NOTIMPL;
}

HRESULT RegisterTypeLibrary() {
  const VariantCollection::ClassesRoot machine(VariantCollection::RegistrationScope::Machine);
  return VariantCollection::RegisterTypeLibrary(ServerPath().c_str(), machine);
}

HRESULT UnregisterTypeLibrary() {
  const VariantCollection::ClassesRoot machine(VariantCollection::RegistrationScope::Machine);
  return VariantCollection::UnregisterTypeLibrary(ServerPath().c_str(), machine);
}

namespace {

/// What the tests need of the process: a single-threaded apartment and the
/// server's module state. The built server must be registered in the test
/// prefix (the test run registers it once, before every test that needs
/// it), so that the type library loads and error objects carry the class's
/// ProgID.
class ServerEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    VariantCollection::Module().Initialize(GetModuleHandleW(nullptr));
    ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_COLLECTIONLib, 1, 0, 0x0409, &library))
        << "the server is not registered in this prefix: run regsvr32 on it first";
  }

  void TearDown() override {
    VariantCollection::ReleaseClassObjects();
    VariantCollection::Module().Terminate();
    CoUninitialize();
  }
};

const ::testing::Environment *const g_environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

} // namespace

} // namespace ServerTest
