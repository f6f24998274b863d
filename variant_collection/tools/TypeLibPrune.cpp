//===- TypeLibPrune.cpp - Copies a type library without stray types -------===//
//
// A build tool, run under Wine. The IDL compiler puts a local copy of every
// interface that a coclass implements into the library it writes, even when
// an imported library (stdole2.tlb) defines that interface. This tool writes
// the library again, type by type, through ICreateTypeLib2: every type but
// those copies, in the same order and with the same attributes, members,
// names and documentation, and with every reference to a copy pointed at the
// imported original.
//
// It copies what an IDL compiler writes for Automation interfaces and
// classes: library and type attributes, documentation strings and help
// contexts, implemented interfaces and their flags, functions, variables,
// aliases, names and custom data. Help string contexts are not copied.
//
// A 64-bit build of the tool also writes 32-bit libraries, so that a machine
// that runs no 32-bit programs still builds the 32-bit server whole; it
// refuses aliases, records and unions there, whose layout the platform
// rewrites when it reads a library of the other pointer size.
//
// Then it reads the written library back and compares it with the source:
// the types in order (less the copies left out), their kinds, GUIDs, flags,
// names, documentation, bases and implemented interfaces, and of every
// function its member id, kind, flags, parameters and types and its vtable
// offset as a client of the library's own pointer size sees it. It prints
// that description of the written library, and any difference fails it.
//
// Usage: typelib_prune <source.tlb> <destination.tlb> [<imported.tlb>...]
// The imported libraries searched for originals default to stdole2.tlb; the
// one of the library's own architecture must come first.
// Exit status 0 on success; otherwise a message on standard error and
// status 1 (2 for a wrong command line).
//
//===----------------------------------------------------------------------===//

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

/// A failed platform call: what was being done and the status it gave.
struct Failure {
  std::string what;
  HRESULT status;
};

void Check(HRESULT status, const std::string &what) {
  if (FAILED(status))
    throw Failure{what, status};
}

std::string Narrow(const wchar_t *text) {
  if (text == nullptr)
    return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  if (size > 1)
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
  return result;
}

/// An owned BSTR; null stands for "absent".
class Text {
public:
  Text() = default;
  Text(const Text &) = delete;
  Text &operator=(const Text &) = delete;
  ~Text() { SysFreeString(m_text); }
  BSTR *operator&() noexcept { return &m_text; }
  BSTR Get() const noexcept { return m_text; }
  explicit operator bool() const noexcept { return m_text != nullptr; }

private:
  BSTR m_text = nullptr;
};

/// A BSTR array filled by ITypeInfo::GetNames, freed on destruction.
class Names {
public:
  explicit Names(UINT capacity) : m_names(capacity, nullptr) {}
  Names(const Names &) = delete;
  Names &operator=(const Names &) = delete;
  ~Names() {
    for (BSTR name : m_names)
      SysFreeString(name);
  }
  BSTR *Data() noexcept { return m_names.data(); }
  UINT Capacity() const noexcept { return static_cast<UINT>(m_names.size()); }

private:
  std::vector<BSTR> m_names;
};

/// Custom data read by one of the GetAll...CustData calls, cleared on destruction.
class CustomData {
public:
  CustomData() { m_data.cCustData = 0, m_data.prgCustData = nullptr; }
  CustomData(const CustomData &) = delete;
  CustomData &operator=(const CustomData &) = delete;
  ~CustomData() { ClearCustData(&m_data); }
  CUSTDATA *operator&() noexcept { return &m_data; }

  /// Hands every item to `store(guid, value)`.
  template <typename Store> void ForEach(Store store) {
    for (DWORD i = 0; i < m_data.cCustData; ++i)
      store(m_data.prgCustData[i].guid, &m_data.prgCustData[i].varValue);
  }

private:
  CUSTDATA m_data;
};

/// The attributes of one type information, released on destruction.
class Attributes {
public:
  explicit Attributes(ITypeInfo *info) : m_info(info) { Check(info->GetTypeAttr(&m_attributes), "GetTypeAttr"); }
  Attributes(const Attributes &) = delete;
  Attributes &operator=(const Attributes &) = delete;
  ~Attributes() { m_info->ReleaseTypeAttr(m_attributes); }
  const TYPEATTR *operator->() const noexcept { return m_attributes; }

private:
  ITypeInfo *m_info;
  TYPEATTR *m_attributes = nullptr;
};

/// Type descriptions rewritten for the destination; they live as long as the
/// arena, which outlives the calls that read them.
class TypeArena {
public:
  TYPEDESC *NewTypeDesc() { return &m_types.emplace_back(); }
  ARRAYDESC *NewArrayDesc(USHORT dimensions) {
    const size_t size = sizeof(ARRAYDESC) + (dimensions > 0 ? dimensions - 1 : 0) * sizeof(SAFEARRAYBOUND);
    m_blocks.emplace_back(new BYTE[size]());
    return reinterpret_cast<ARRAYDESC *>(m_blocks.back().get());
  }

private:
  std::deque<TYPEDESC> m_types;
  std::vector<std::unique_ptr<BYTE[]>> m_blocks;
};

bool SameLibrary(ITypeLib *a, ITypeLib *b) {
  TLIBATTR *first = nullptr, *second = nullptr;
  Check(a->GetLibAttr(&first), "GetLibAttr");
  Check(b->GetLibAttr(&second), "GetLibAttr");
  const bool same = IsEqualGUID(first->guid, second->guid) && first->wMajorVerNum == second->wMajorVerNum &&
                    first->wMinorVerNum == second->wMinorVerNum && first->lcid == second->lcid;
  a->ReleaseTLibAttr(first);
  b->ReleaseTLibAttr(second);
  return same;
}

/// The half of a type that the destination gets: the vtable interface of a
/// dual interface (the writer makes the dispatch half from it), the type
/// itself otherwise.
ComPtr<ITypeInfo> CopiedHalf(ITypeInfo *info) {
  Attributes attributes(info);
  if (attributes->typekind != TKIND_DISPATCH || !(attributes->wTypeFlags & TYPEFLAG_FDUAL))
    return info;
  HREFTYPE vtableHalf = 0;
  Check(info->GetRefTypeOfImplType(-1, &vtableHalf), "GetRefTypeOfImplType(-1)");
  ComPtr<ITypeInfo> half;
  Check(info->GetRefTypeInfo(vtableHalf, &half), "GetRefTypeInfo of the vtable half");
  return half;
}

class LibraryPruner {
public:
  LibraryPruner(const std::wstring &source, const std::wstring &destination,
                const std::vector<std::wstring> &imported) {
    Check(LoadTypeLibEx(source.c_str(), REGKIND_NONE, &m_source), "LoadTypeLibEx " + Narrow(source.c_str()));
    for (const std::wstring &path : imported) {
      ComPtr<ITypeLib> library;
      Check(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library), "LoadTypeLibEx " + Narrow(path.c_str()));
      m_imported.push_back(library);
    }
    TLIBATTR *attributes = nullptr;
    Check(m_source->GetLibAttr(&attributes), "GetLibAttr");
    const SYSKIND kind = attributes->syskind;
    m_source->ReleaseTLibAttr(attributes);
    Check(CreateTypeLib2(kind, destination.c_str(), &m_destination), "CreateTypeLib2");
    m_pointerSize = kind == SYS_WIN64 ? 8 : 4;
  }

  void Run() {
    CopyLibrary();
    const UINT count = m_source->GetTypeInfoCount();
    m_types.resize(count);
    // Every kept type exists before any is filled in, so that references
    // between them (in either direction) resolve.
    for (UINT index = 0; index < count; ++index)
      CreateOrReplace(index);
    std::vector<UINT> kept;
    for (UINT index = 0; index < count; ++index)
      if (m_types[index].created) {
        CopyType(index);
        kept.push_back(index);
      }
    // Bases first: a type's vtable starts where its base's ends.
    std::stable_sort(kept.begin(), kept.end(), [this](UINT a, UINT b) { return Depth(a) < Depth(b); });
    for (UINT index : kept)
      Check(m_types[index].created->LayOut(), "LayOut of " + m_types[index].name);
    // The writer lays a type out again when its flags are set, reading the
    // size of its base's vtable from the base's type information; of a base
    // that is dual already it reads the dispatch half, whose size the
    // platform answers in this process's pointer size whatever the
    // library's. Derived types therefore get their flags before their bases.
    for (auto index = kept.rbegin(); index != kept.rend(); ++index)
      FinishType(*index);
    Check(m_destination->SaveAllChanges(), "SaveAllChanges");
  }

  /// Names of the types left out, for the log.
  const std::vector<std::string> &Dropped() const noexcept { return m_dropped; }

private:
  struct TypeSlot {
    std::string name;
    ComPtr<ICreateTypeInfo> created; // kept: the new type
    ComPtr<ITypeInfo> original;      // left out: the imported original
    WORD flags = 0;                  // kept: the type flags, set last
    WORD alignment = 0;              // kept: the alignment, set last
    int base = -1;                   // kept: the index of its base in this library, or -1
  };

  /// The number of bases of kept type `index` that this library defines.
  unsigned Depth(UINT index) const {
    unsigned depth = 0;
    for (int base = m_types[index].base; base >= 0 && depth <= m_types.size(); base = m_types[base].base)
      ++depth;
    return depth;
  }

  /// Sets the type flags and the alignment of kept type `index`.
  void FinishType(UINT index) {
    const TypeSlot &slot = m_types[index];
    Check(slot.created->SetTypeFlags(slot.flags), "SetTypeFlags of " + slot.name);
    if (slot.alignment != 0)
      Check(slot.created->SetAlignment(slot.alignment), "SetAlignment of " + slot.name);
  }

  void CopyLibrary() {
    TLIBATTR *attributes = nullptr;
    Check(m_source->GetLibAttr(&attributes), "GetLibAttr");
    const TLIBATTR copy = *attributes;
    m_source->ReleaseTLibAttr(attributes);
    Check(m_destination->SetGuid(copy.guid), "SetGuid of the library");
    Check(m_destination->SetLcid(copy.lcid), "SetLcid");
    Check(m_destination->SetVersion(copy.wMajorVerNum, copy.wMinorVerNum), "SetVersion of the library");
    Check(m_destination->SetLibFlags(copy.wLibFlags), "SetLibFlags");

    Text name, doc, helpFile;
    DWORD helpContext = 0;
    Check(m_source->GetDocumentation(-1, &name, &doc, &helpContext, &helpFile), "GetDocumentation of the library");
    Check(m_destination->SetName(name.Get()), "SetName of the library");
    if (doc)
      Check(m_destination->SetDocString(doc.Get()), "SetDocString of the library");
    if (helpFile)
      Check(m_destination->SetHelpFileName(helpFile.Get()), "SetHelpFileName");
    if (helpContext != 0)
      Check(m_destination->SetHelpContext(helpContext), "SetHelpContext of the library");

    ComPtr<ITypeLib2> source2;
    if (SUCCEEDED(m_source.As(&source2))) {
      CustomData data;
      Check(source2->GetAllCustData(&data), "GetAllCustData of the library");
      data.ForEach([&](const GUID &guid, VARIANT *value) {
        Check(m_destination->SetCustData(guid, value), "SetCustData of the library");
      });
    }
  }

  /// Makes the new type of source type `index`, or, for a copy of a type
  /// that an imported library defines, records the original instead.
  void CreateOrReplace(UINT index) {
    ComPtr<ITypeInfo> info;
    Check(m_source->GetTypeInfo(index, &info), "GetTypeInfo");
    TypeSlot &slot = m_types[index];
    Text name;
    Check(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), "GetDocumentation of a type");
    slot.name = Narrow(name.Get());
    const ComPtr<ITypeInfo> half = CopiedHalf(info.Get());
    GUID guid;
    TYPEKIND kind;
    {
      Attributes attributes(half.Get());
      guid = attributes->guid;
      kind = attributes->typekind;
    }
    if (!IsEqualGUID(guid, GUID_NULL))
      for (const ComPtr<ITypeLib> &library : m_imported)
        if (SUCCEEDED(library->GetTypeInfoOfGuid(guid, &slot.original))) {
          m_dropped.push_back(slot.name);
          return;
        }
    Check(m_destination->CreateTypeInfo(name.Get(), kind, &slot.created), "CreateTypeInfo " + slot.name);
  }

  void CopyType(UINT index) {
    ComPtr<ITypeInfo> whole;
    Check(m_source->GetTypeInfo(index, &whole), "GetTypeInfo");
    ComPtr<ITypeInfo> info = CopiedHalf(whole.Get());
    TypeSlot &slot = m_types[index];
    ICreateTypeInfo *target = slot.created.Get();
    ComPtr<ICreateTypeInfo2> target2;
    slot.created.As(&target2);
    ComPtr<ITypeInfo2> info2;
    info.As(&info2);

    Attributes attributes(info.Get());
    if (!IsEqualGUID(attributes->guid, GUID_NULL))
      Check(target->SetGuid(attributes->guid), "SetGuid of " + slot.name);
    Check(target->SetVersion(attributes->wMajorVerNum, attributes->wMinorVerNum), "SetVersion of " + slot.name);
    Text doc;
    DWORD helpContext = 0;
    Check(info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, &helpContext, nullptr), "GetDocumentation");
    if (doc)
      Check(target->SetDocString(doc.Get()), "SetDocString of " + slot.name);
    if (helpContext != 0)
      Check(target->SetHelpContext(helpContext), "SetHelpContext of " + slot.name);
    if (attributes->idldescType.wIDLFlags != 0)
      Check(target->SetTypeIdldesc(const_cast<IDLDESC *>(&attributes->idldescType)), "SetTypeIdldesc");
    if (attributes->typekind == TKIND_ALIAS) {
      TypeArena arena;
      TYPEDESC alias = MapTypeDesc(info.Get(), attributes->tdescAlias, target, arena);
      Check(target->SetTypeDescAlias(&alias), "SetTypeDescAlias of " + slot.name);
    }
    if (info2 && target2) {
      CustomData data;
      Check(info2->GetAllCustData(&data), "GetAllCustData");
      data.ForEach([&](const GUID &guid, VARIANT *value) {
        Check(target2->SetCustData(guid, value), "SetCustData of " + slot.name);
      });
    }

    for (UINT i = 0; i < attributes->cImplTypes; ++i)
      CopyImplType(info.Get(), info2.Get(), i, target, target2.Get(), slot.name);
    CopyFunctions(whole.Get(), info.Get(), info2.Get(), attributes->cFuncs, target, target2.Get(), slot.name);
    CopyVariables(info.Get(), info2.Get(), attributes->cVars, target, target2.Get(), slot.name);
    // Set last (FinishType): the writer turns "dispatchable" on by itself
    // when IDispatch becomes a base, and the flags must end up exactly the
    // source's.
    slot.flags = attributes->wTypeFlags;
    slot.alignment = Alignment(*attributes.operator->(), slot.name);
    if (attributes->typekind == TKIND_INTERFACE && attributes->cImplTypes > 0) {
      HREFTYPE reference = 0;
      Check(info->GetRefTypeOfImplType(0, &reference), "GetRefTypeOfImplType of " + slot.name);
      ComPtr<ITypeInfo> base;
      Check(info->GetRefTypeInfo(reference, &base), "GetRefTypeInfo of the base of " + slot.name);
      slot.base = SourceIndex(base.Get());
    }
  }

  /// The alignment of a type on the destination's system kind. Of a library
  /// of the other pointer size the platform hands out the alignment of an
  /// interface or class as this process's pointer size, and rewrites what
  /// aliases, records and unions depend on: the first is restored, the
  /// others are refused rather than copied wrong.
  WORD Alignment(const TYPEATTR &attributes, const std::string &name) const {
    if (m_pointerSize == static_cast<SHORT>(sizeof(void *)))
      return attributes.cbAlignment;
    switch (attributes.typekind) {
    case TKIND_INTERFACE:
    case TKIND_DISPATCH:
    case TKIND_COCLASS:
      return static_cast<WORD>(m_pointerSize);
    case TKIND_ENUM:
    case TKIND_MODULE:
      return attributes.cbAlignment;
    default:
      throw Failure{"copying " + name + " to a library of another pointer size", E_NOTIMPL};
    }
  }

  void CopyImplType(ITypeInfo *info, ITypeInfo2 *info2, UINT i, ICreateTypeInfo *target, ICreateTypeInfo2 *target2,
                    const std::string &name) {
    HREFTYPE reference = 0;
    Check(info->GetRefTypeOfImplType(i, &reference), "GetRefTypeOfImplType of " + name);
    Check(target->AddImplType(i, MapReference(info, reference, target)), "AddImplType of " + name);
    INT flags = 0;
    Check(info->GetImplTypeFlags(i, &flags), "GetImplTypeFlags of " + name);
    if (flags != 0)
      Check(target->SetImplTypeFlags(i, flags), "SetImplTypeFlags of " + name);
    if (info2 && target2) {
      CustomData data;
      Check(info2->GetAllImplTypeCustData(i, &data), "GetAllImplTypeCustData");
      data.ForEach([&](const GUID &guid, VARIANT *value) {
        Check(target2->SetImplTypeCustData(i, guid, value), "SetImplTypeCustData of " + name);
      });
    }
  }

  /// Copies the functions in order: first their descriptions, read by
  /// index, then their names and documentation.
  void CopyFunctions(ITypeInfo *whole, ITypeInfo *info, ITypeInfo2 *info2, UINT count, ICreateTypeInfo *target,
                     ICreateTypeInfo2 *target2, const std::string &name) {
    std::vector<FunctionKey> keys;
    for (UINT i = 0; i < count; ++i)
      keys.push_back(CopyFunctionDesc(info, info2, i, target, target2, name));

    // The platform answers GetNames and GetDocumentation by member id with
    // the first function that has it, so the second accessor of a property
    // (which shares the first one's id) cannot be read that way. Where the
    // source type can be edited in memory (Wine's can), each function is
    // read while it is the first of its type and then dropped from the
    // library's own type information (not from the vtable half, which Wine
    // makes as a shallow copy of it). The source file is never written.
    ComPtr<ICreateTypeInfo2> scratch;
    whole->QueryInterface(IID_ICreateTypeInfo2, reinterpret_cast<void **>(scratch.GetAddressOf()));
    for (UINT i = 0; i < count; ++i) {
      const ComPtr<ITypeInfo> current = scratch ? CopiedHalf(whole) : ComPtr<ITypeInfo>(info);
      CopyFunctionTexts(current.Get(), keys[i], i, target, name);
      if (scratch)
        Check(scratch->DeleteFuncDesc(0), "DeleteFuncDesc of the source " + name);
    }
  }

  /// What finds a function's names: its member id, and how many names it
  /// has at most (its own and one per parameter).
  struct FunctionKey {
    MEMBERID id;
    UINT names;
  };

  FunctionKey CopyFunctionDesc(ITypeInfo *info, ITypeInfo2 *info2, UINT i, ICreateTypeInfo *target,
                               ICreateTypeInfo2 *target2, const std::string &name) {
    FUNCDESC *function = nullptr;
    Check(info->GetFuncDesc(i, &function), "GetFuncDesc of " + name);
    std::unique_ptr<FUNCDESC, std::function<void(FUNCDESC *)>> held(
        function, [info](FUNCDESC *f) { info->ReleaseFuncDesc(f); });
    TypeArena arena;
    FUNCDESC copy = *function;
    // The platform hands out vtable offsets in this process's pointer size,
    // whatever the library's system kind; the destination wants them in its
    // own.
    copy.oVft = static_cast<SHORT>(function->oVft / static_cast<SHORT>(sizeof(void *)) * m_pointerSize);
    std::vector<ELEMDESC> parameters(function->lprgelemdescParam, function->lprgelemdescParam + function->cParams);
    for (ELEMDESC &parameter : parameters)
      parameter.tdesc = MapTypeDesc(info, parameter.tdesc, target, arena);
    copy.lprgelemdescParam = parameters.empty() ? nullptr : parameters.data();
    copy.elemdescFunc.tdesc = MapTypeDesc(info, function->elemdescFunc.tdesc, target, arena);
    Check(target->AddFuncDesc(i, &copy), "AddFuncDesc of " + name);

    if (info2 && target2) {
      const std::string member = name + "." + std::to_string(i);
      CustomData data;
      Check(info2->GetAllFuncCustData(i, &data), "GetAllFuncCustData");
      data.ForEach([&](const GUID &guid, VARIANT *value) {
        Check(target2->SetFuncCustData(i, guid, value), "SetFuncCustData of " + member);
      });
      for (UINT p = 0; p < static_cast<UINT>(function->cParams); ++p) {
        CustomData parameterData;
        Check(info2->GetAllParamCustData(i, p, &parameterData), "GetAllParamCustData");
        parameterData.ForEach([&](const GUID &guid, VARIANT *value) {
          Check(target2->SetParamCustData(i, p, guid, value), "SetParamCustData of " + member);
        });
      }
    }
    return FunctionKey{function->memid, static_cast<UINT>(function->cParams) + 1};
  }

  /// Names and documentation of function `i`, read by its member id from
  /// `info`, in which it is the first function with that id.
  void CopyFunctionTexts(ITypeInfo *info, const FunctionKey &key, UINT i, ICreateTypeInfo *target,
                         const std::string &name) {
    const MEMBERID id = key.id;
    const std::string member = name + "." + std::to_string(i);
    Names names(key.names);
    UINT named = 0;
    Check(info->GetNames(id, names.Data(), names.Capacity(), &named), "GetNames of " + member);
    Check(target->SetFuncAndParamNames(i, names.Data(), named), "SetFuncAndParamNames of " + member);
    Text doc;
    DWORD helpContext = 0;
    Check(info->GetDocumentation(id, nullptr, &doc, &helpContext, nullptr), "GetDocumentation of " + member);
    if (doc)
      Check(target->SetFuncDocString(i, doc.Get()), "SetFuncDocString of " + member);
    if (helpContext != 0)
      Check(target->SetFuncHelpContext(i, helpContext), "SetFuncHelpContext of " + member);
  }

  void CopyVariables(ITypeInfo *info, ITypeInfo2 *info2, UINT count, ICreateTypeInfo *target,
                     ICreateTypeInfo2 *target2, const std::string &name) {
    for (UINT i = 0; i < count; ++i) {
      VARDESC *variable = nullptr;
      Check(info->GetVarDesc(i, &variable), "GetVarDesc of " + name);
      std::unique_ptr<VARDESC, std::function<void(VARDESC *)>> held(variable,
                                                                    [info](VARDESC *v) { info->ReleaseVarDesc(v); });
      TypeArena arena;
      VARDESC copy = *variable;
      copy.elemdescVar.tdesc = MapTypeDesc(info, variable->elemdescVar.tdesc, target, arena);
      Check(target->AddVarDesc(i, &copy), "AddVarDesc of " + name);

      const std::string member = name + ".variable " + std::to_string(i);
      Text varName, doc;
      DWORD helpContext = 0;
      Check(info->GetDocumentation(variable->memid, &varName, &doc, &helpContext, nullptr), "GetDocumentation");
      Check(target->SetVarName(i, varName.Get()), "SetVarName of " + member);
      if (doc)
        Check(target->SetVarDocString(i, doc.Get()), "SetVarDocString of " + member);
      if (helpContext != 0)
        Check(target->SetVarHelpContext(i, helpContext), "SetVarHelpContext of " + member);
      if (info2 && target2) {
        CustomData data;
        Check(info2->GetAllVarCustData(i, &data), "GetAllVarCustData");
        data.ForEach([&](const GUID &guid, VARIANT *value) {
          Check(target2->SetVarCustData(i, guid, value), "SetVarCustData of " + member);
        });
      }
    }
  }

  /// The type that `reference` of `owner` names, as the destination sees it:
  /// a type of the new library, or an imported one.
  ComPtr<ITypeInfo> Resolve(ITypeInfo *owner, HREFTYPE reference) {
    ComPtr<ITypeInfo> referenced;
    Check(owner->GetRefTypeInfo(reference, &referenced), "GetRefTypeInfo");
    const int index = SourceIndex(referenced.Get());
    if (index < 0)
      return referenced;
    const TypeSlot &slot = m_types[index];
    if (slot.original)
      return slot.original;
    ComPtr<ITypeInfo> created;
    Check(slot.created.As(&created), "ITypeInfo of " + slot.name);
    return created;
  }

  /// The index of `type` in the source library, or -1 for a type of another
  /// library.
  int SourceIndex(ITypeInfo *type) {
    ComPtr<ITypeLib> library;
    UINT index = 0;
    Check(type->GetContainingTypeLib(&library, &index), "GetContainingTypeLib");
    if (!SameLibrary(library.Get(), m_source.Get()))
      return -1;
    if (index >= m_types.size())
      throw Failure{"reference to a type outside the library", TYPE_E_ELEMENTNOTFOUND};
    return static_cast<int>(index);
  }

  HREFTYPE MapReference(ITypeInfo *owner, HREFTYPE reference, ICreateTypeInfo *target) {
    ComPtr<ITypeInfo> resolved = Resolve(owner, reference);
    HREFTYPE mapped = 0;
    Check(target->AddRefTypeInfo(resolved.Get(), &mapped), "AddRefTypeInfo");
    return mapped;
  }

  TYPEDESC MapTypeDesc(ITypeInfo *owner, const TYPEDESC &type, ICreateTypeInfo *target, TypeArena &arena) {
    TYPEDESC result = type;
    switch (type.vt) {
    case VT_PTR:
    case VT_SAFEARRAY:
      result.lptdesc = arena.NewTypeDesc();
      *result.lptdesc = MapTypeDesc(owner, *type.lptdesc, target, arena);
      break;
    case VT_CARRAY: {
      const ARRAYDESC &array = *type.lpadesc;
      result.lpadesc = arena.NewArrayDesc(array.cDims);
      result.lpadesc->cDims = array.cDims;
      for (USHORT d = 0; d < array.cDims; ++d)
        result.lpadesc->rgbounds[d] = array.rgbounds[d];
      result.lpadesc->tdescElem = MapTypeDesc(owner, array.tdescElem, target, arena);
      break;
    }
    case VT_USERDEFINED:
      result.hreftype = MapReference(owner, type.hreftype, target);
      break;
    default:
      break;
    }
    return result;
  }

  ComPtr<ITypeLib> m_source;
  std::vector<ComPtr<ITypeLib>> m_imported;
  ComPtr<ICreateTypeLib2> m_destination;
  std::vector<TypeSlot> m_types;
  std::vector<std::string> m_dropped;
  /// The size of a pointer on the destination's system kind.
  SHORT m_pointerSize = 0;
};

/// A library as its readers see it, one line per library, type, implemented
/// interface, function and variable: what the comparison of a written
/// library with its source looks at. Vtable offsets and sizes are given as a
/// client of the library's own pointer size sees them (the platform hands
/// them out in this process's).
class LibraryDescription {
public:
  /// Describes `library`, leaving out the types whose names `skipped` holds.
  LibraryDescription(ITypeLib *library, const std::vector<std::string> &skipped) {
    TLIBATTR *attributes = nullptr;
    Check(library->GetLibAttr(&attributes), "GetLibAttr");
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    m_pointerSize = copy.syskind == SYS_WIN64 ? 8 : 4;
    Text name, doc;
    Check(library->GetDocumentation(-1, &name, &doc, nullptr, nullptr), "GetDocumentation of the library");
    Add("library " + Narrow(name.Get()) + " " + Guid(copy.guid) + " " + std::to_string(copy.wMajorVerNum) + "." +
        std::to_string(copy.wMinorVerNum) + " lcid " + std::to_string(copy.lcid) + " syskind " +
        std::to_string(copy.syskind) + " flags " + std::to_string(copy.wLibFlags) + " \"" + Narrow(doc.Get()) + "\"");
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
      ComPtr<ITypeInfo> info;
      Check(library->GetTypeInfo(index, &info), "GetTypeInfo");
      Text typeName;
      Check(info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr), "GetDocumentation");
      if (std::find(skipped.begin(), skipped.end(), Narrow(typeName.Get())) == skipped.end())
        DescribeType(info.Get(), "type");
    }
  }

  const std::vector<std::string> &Lines() const noexcept { return m_lines; }

private:
  void Add(std::string line) { m_lines.push_back(std::move(line)); }

  static std::string Guid(const GUID &guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
  }

  static std::string Name(ITypeInfo *info, MEMBERID id) {
    Text name;
    Check(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr), "GetDocumentation");
    return Narrow(name.Get());
  }

  /// A type description in IDL-like words, with referenced types by name.
  std::string Type(ITypeInfo *owner, const TYPEDESC &type) {
    switch (type.vt) {
    case VT_PTR:
      return Type(owner, *type.lptdesc) + "*";
    case VT_SAFEARRAY:
      return "SAFEARRAY(" + Type(owner, *type.lptdesc) + ")";
    case VT_CARRAY:
      return Type(owner, type.lpadesc->tdescElem) + "[" + std::to_string(type.lpadesc->cDims) + " dimensions]";
    case VT_USERDEFINED: {
      ComPtr<ITypeInfo> referenced;
      Check(owner->GetRefTypeInfo(type.hreftype, &referenced), "GetRefTypeInfo");
      Attributes attributes(referenced.Get());
      return Name(referenced.Get(), MEMBERID_NIL) + " " + Guid(attributes->guid);
    }
    default:
      return "vt " + std::to_string(type.vt);
    }
  }

  void DescribeType(ITypeInfo *info, const std::string &label) {
    Attributes attributes(info);
    Text doc;
    DWORD helpContext = 0;
    Check(info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, &helpContext, nullptr), "GetDocumentation");
    const bool vtable = attributes->typekind == TKIND_INTERFACE;
    Add(label + " " + Name(info, MEMBERID_NIL) + " kind " + std::to_string(attributes->typekind) + " " +
        Guid(attributes->guid) + " flags " + std::to_string(attributes->wTypeFlags) + " version " +
        std::to_string(attributes->wMajorVerNum) + "." + std::to_string(attributes->wMinorVerNum) +
        (vtable ? " vtable " + std::to_string(attributes->cbSizeVft) + " bytes" : std::string()) + " help " +
        std::to_string(helpContext) + " \"" + Narrow(doc.Get()) + "\"");
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
      HREFTYPE reference = 0;
      INT flags = 0;
      Check(info->GetRefTypeOfImplType(i, &reference), "GetRefTypeOfImplType");
      Check(info->GetImplTypeFlags(i, &flags), "GetImplTypeFlags");
      TYPEDESC base{};
      base.vt = VT_USERDEFINED;
      base.hreftype = reference;
      Add("  implements " + Type(info, base) + " flags " + std::to_string(flags));
    }
    for (UINT i = 0; i < attributes->cFuncs; ++i)
      DescribeFunction(info, i, vtable);
    for (UINT i = 0; i < attributes->cVars; ++i) {
      VARDESC *variable = nullptr;
      Check(info->GetVarDesc(i, &variable), "GetVarDesc");
      Add("  variable " + Name(info, variable->memid) + " id " + std::to_string(variable->memid) + " kind " +
          std::to_string(variable->varkind) + " flags " + std::to_string(variable->wVarFlags) + " " +
          Type(info, variable->elemdescVar.tdesc));
      info->ReleaseVarDesc(variable);
    }
    HREFTYPE other = 0;
    if (attributes->typekind == TKIND_DISPATCH && SUCCEEDED(info->GetRefTypeOfImplType(-1, &other))) {
      ComPtr<ITypeInfo> half;
      Check(info->GetRefTypeInfo(other, &half), "GetRefTypeInfo of the vtable half");
      DescribeType(half.Get(), "  vtable half:");
    }
  }

  void DescribeFunction(ITypeInfo *info, UINT i, bool vtable) {
    FUNCDESC *function = nullptr;
    Check(info->GetFuncDesc(i, &function), "GetFuncDesc");
    std::unique_ptr<FUNCDESC, std::function<void(FUNCDESC *)>> held(
        function, [info](FUNCDESC *f) { info->ReleaseFuncDesc(f); });
    Names names(static_cast<UINT>(function->cParams) + 1);
    UINT named = 0;
    Check(info->GetNames(function->memid, names.Data(), names.Capacity(), &named), "GetNames");
    std::string line = "  function " + std::to_string(i) + " " + (named > 0 ? Narrow(names.Data()[0]) : "") + " id " +
                       std::to_string(function->memid) + " kind " + std::to_string(function->funckind) + " invoke " +
                       std::to_string(function->invkind) + " call " + std::to_string(function->callconv) + " flags " +
                       std::to_string(function->wFuncFlags) + " optional " + std::to_string(function->cParamsOpt) +
                       " returns " + Type(info, function->elemdescFunc.tdesc);
    if (vtable)
      line += " at " + std::to_string(function->oVft / static_cast<SHORT>(sizeof(void *)) * m_pointerSize);
    for (SHORT p = 0; p < function->cParams; ++p) {
      const ELEMDESC &parameter = function->lprgelemdescParam[p];
      line += std::string(p == 0 ? " (" : ", ") + Type(info, parameter.tdesc) + " flags " +
              std::to_string(parameter.paramdesc.wParamFlags);
      if (static_cast<UINT>(p) + 1 < named)
        line += " " + Narrow(names.Data()[p + 1]);
    }
    if (function->cParams > 0)
      line += ")";
    Add(line);
  }

  std::vector<std::string> m_lines;
  SHORT m_pointerSize = 0;
};

/// Reads `destination` back and compares it with `source` less the types
/// named in `dropped`; prints the destination's description. Throws a
/// Failure at the first line that differs.
void Verify(const std::wstring &source, const std::wstring &destination, const std::vector<std::string> &dropped) {
  ComPtr<ITypeLib> expected, written;
  Check(LoadTypeLibEx(source.c_str(), REGKIND_NONE, &expected), "LoadTypeLibEx " + Narrow(source.c_str()));
  Check(LoadTypeLibEx(destination.c_str(), REGKIND_NONE, &written), "LoadTypeLibEx " + Narrow(destination.c_str()));
  const LibraryDescription want(expected.Get(), dropped);
  const LibraryDescription have(written.Get(), {});
  for (const std::string &line : have.Lines())
    std::printf("%s\n", line.c_str());
  const std::size_t lines = std::max(want.Lines().size(), have.Lines().size());
  for (std::size_t i = 0; i < lines; ++i) {
    const std::string wanted = i < want.Lines().size() ? want.Lines()[i] : "(nothing)";
    const std::string found = i < have.Lines().size() ? have.Lines()[i] : "(nothing)";
    if (wanted != found)
      throw Failure{"reading back: the source has\n  " + wanted + "\nwhere the written library has\n  " + found +
                        "\nthe comparison",
                    E_FAIL};
  }
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: typelib_prune <source.tlb> <destination.tlb> [<imported.tlb>...]\n");
    return 2;
  }
  std::vector<std::wstring> imported(argv + 3, argv + argc);
  if (imported.empty())
    imported.push_back(L"stdole2.tlb");
  try {
    std::vector<std::string> dropped;
    {
      // Copying edits the source in memory: it is compared only once the
      // platform has let go of that copy.
      LibraryPruner pruner(argv[1], argv[2], imported);
      pruner.Run();
      dropped = pruner.Dropped();
    }
    for (const std::string &name : dropped)
      std::printf("typelib_prune: left out the local copy of %s\n", name.c_str());
    Verify(argv[1], argv[2], dropped);
    std::printf("typelib_prune: the written library reads back as its source less those copies\n");
    return 0;
  } catch (const Failure &failure) {
    std::fprintf(stderr, "typelib_prune: %s failed with 0x%08lX\n", failure.what.c_str(),
                 static_cast<unsigned long>(failure.status));
    return 1;
  }
}
