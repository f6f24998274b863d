//===- XJson.cpp - JSON for script authors --------------------------------===//

#include "XJson.h"

#include "AtomicFile.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "ReportError.h"

#include <oleauto.h>

#include <cmath>
#include <string>

namespace VariantCollection {

namespace {

/// The system's text for `error`, without the line break at its end.
std::wstring SystemMessage(DWORD error) {
  wchar_t *text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty())
    message = L"system error " + std::to_wstring(error);
  return message;
}

/// `verb` `path`: the system's message for `error`.
std::wstring FileFailure(const wchar_t *verb, const wchar_t *path, DWORD error) {
  return std::wstring(verb) + L' ' + path + L": " + SystemMessage(error);
}

/// The whole file at `path` into `bytes`; the failure's description and
/// status otherwise.
HRESULT ReadWholeFile(const wchar_t *path, std::string &bytes, std::wstring &failure) {
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = OpenForReading(path, file);
  if (error != ERROR_SUCCESS) {
    failure = FileFailure(L"cannot open", path, error);
    return HRESULT_FROM_WIN32(error);
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
  } else if (static_cast<unsigned long long>(size.QuadPart) >= bytes.max_size()) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  } else {
    try {
      bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (...) {
      CloseHandle(file);
      throw;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t left = bytes.size() - done;
      DWORD read = 0;
      if (!::ReadFile(file, &bytes[done], left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left), &read,
                      nullptr)) {
        error = GetLastError();
        break;
      }
      if (read == 0) { // the file shrank meanwhile
        bytes.resize(done);
        break;
      }
      done += read;
    }
  }
  CloseHandle(file);
  if (error != ERROR_SUCCESS) {
    failure = FileFailure(L"cannot read", path, error);
    return HRESULT_FROM_WIN32(error);
  }
  return S_OK;
}

/// `bytes` (UTF-16 after a byte-order mark of `bigEndian`'s order) as
/// UTF-16 text.
bool DecodeUtf16(const std::string &bytes, bool bigEndian, std::wstring &text) {
  if (bytes.size() % 2 != 0)
    return false;
  text.resize(bytes.size() / 2 - 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char first = static_cast<unsigned char>(bytes[2 + 2 * i]);
    const unsigned char second = static_cast<unsigned char>(bytes[3 + 2 * i]);
    text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return true;
}

} // namespace

const InterfaceEntry<XJson> XJson::kInterfaces[] = {
    {&IID_IXJson, &InterfaceOf<IXJson>},
    {&IID_IDispatch, &InterfaceOf<IXJson>},
    {&IID_IUnknown, &InterfaceOf<IXJson>},
    {&IID_ISupportErrorInfo, &InterfaceOf<ISupportErrorInfo>},
    {nullptr, nullptr},
};

HRESULT XJson::Create(REFIID iid, void **object) noexcept {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  const ComPtr<XJson> json = New();
  if (!json)
    return E_OUTOFMEMORY;
  return json->QueryInterface(iid, object);
}

HRESULT XJson::Fail(HRESULT status, const std::wstring &description) noexcept {
  if (description.empty())
    return WithoutErrorObject(status);
  return ReportError(CLSID_XJson, description.c_str(), IID_IXJson, status);
}

HRESULT XJson::ReadIndent(const VARIANT &indent, int &spaces) noexcept {
  spaces = 0;
  // Looked at through references in place, and copied only once it is
  // known to be a number: no other argument (an array of a type the
  // platform cannot copy or clear, say) can leave a copy behind.
  const VARIANT *v = &indent;
  for (int hops = 0; hops < 8 && V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) != nullptr; ++hops)
    v = V_VARIANTREF(v);
  const VARTYPE type = V_VT(v) & ~VT_BYREF;
  const bool byReference = (V_VT(v) & VT_BYREF) != 0;
  if (!byReference && (type == VT_EMPTY || (type == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND)))
    return S_OK;
  if (!IsNumberType(type) || (byReference && V_BYREF(v) == nullptr))
    return ReportError(CLSID_XJson, L"Type mismatch", IID_IXJson, DISP_E_TYPEMISMATCH);
  VARIANT number;
  VariantInit(&number);
  if (VariantChangeType(&number, const_cast<VARIANT *>(v), 0, VT_R8) != S_OK || V_R8(&number) < 0 ||
      V_R8(&number) > 10 || std::floor(V_R8(&number)) != V_R8(&number))
    return ReportError(CLSID_XJson, L"Invalid procedure call or argument", IID_IXJson, E_INVALIDARG);
  spaces = static_cast<int>(V_R8(&number));
  return S_OK;
}

HRESULT XJson::Write(const VARIANT &value, const VARIANT &indent, std::wstring &text) noexcept {
  int spaces = 0;
  const HRESULT status = ReadIndent(indent, spaces);
  if (FAILED(status))
    return status;
  std::wstring failure;
  return Fail(WriteJson(value, spaces, text, failure), failure);
}

HRESULT STDMETHODCALLTYPE XJson::Parse(BSTR text, VARIANT *value) {
  if (value == nullptr)
    return WithoutErrorObject(E_POINTER);
  VariantInit(value);
  std::wstring failure;
  const HRESULT status = ReadJson(text != nullptr ? text : L"", SysStringLen(text), *value, failure);
  return SUCCEEDED(status) ? status : Fail(status, failure);
}

HRESULT STDMETHODCALLTYPE XJson::Stringify(VARIANT value, VARIANT indent, BSTR *text) {
  if (text == nullptr)
    return WithoutErrorObject(E_POINTER);
  *text = nullptr;
  try {
    std::wstring written;
    const HRESULT status = Write(value, indent, written);
    if (FAILED(status))
      return status;
    *text = SysAllocStringLen(written.data(), static_cast<UINT>(written.size()));
    return *text != nullptr ? S_OK : WithoutErrorObject(E_OUTOFMEMORY);
  } catch (...) {
    return WithoutErrorObject(E_OUTOFMEMORY);
  }
}

HRESULT STDMETHODCALLTYPE XJson::ReadFile(BSTR path, VARIANT *value) {
  if (value == nullptr)
    return WithoutErrorObject(E_POINTER);
  VariantInit(value);
  const wchar_t *name = path != nullptr ? path : L"";
  std::wstring failure;
  HRESULT status = E_OUTOFMEMORY;
  try {
    std::string bytes;
    status = ReadWholeFile(name, bytes, failure);
    if (SUCCEEDED(status)) {
      const auto starts = [&bytes](const char *mark, std::size_t length) {
        return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
      };
      if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        std::wstring text;
        if (DecodeUtf16(bytes, bytes[0] == '\xFE', text)) {
          std::string().swap(bytes);
          status = ReadJson(text.data(), text.size(), *value, failure);
        } else {
          status = E_FAIL;
          failure = L"invalid UTF-16: the file ends in the middle of a character";
        }
      } else {
        const std::size_t skip = starts("\xEF\xBB\xBF", 3) ? 3 : 0;
        status = ReadJson(bytes.data() + skip, bytes.size() - skip, *value, failure);
      }
    }
  } catch (...) {
    failure.clear();
    status = E_OUTOFMEMORY;
  }
  return SUCCEEDED(status) ? status : Fail(status, failure);
}

HRESULT STDMETHODCALLTYPE XJson::WriteFile(VARIANT value, BSTR path, VARIANT indent) {
  const wchar_t *name = path != nullptr ? path : L"";
  try {
    std::string bytes;
    {
      std::wstring text;
      const HRESULT status = Write(value, indent, text);
      if (FAILED(status))
        return status;
      AppendUtf8(text, bytes);
    }
    bytes += '\n';
    const DWORD error = ReplaceFileAtomically(name, bytes.data(), bytes.size());
    if (error != ERROR_SUCCESS)
      return Fail(HRESULT_FROM_WIN32(error), FileFailure(L"cannot write", name, error));
    return S_OK;
  } catch (...) {
    return WithoutErrorObject(E_OUTOFMEMORY);
  }
}

HRESULT STDMETHODCALLTYPE XJson::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IXJson) ? S_OK : S_FALSE;
}

} // namespace VariantCollection
