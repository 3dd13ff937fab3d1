// The type-library reader: any text either fails with TypeLibFormatError or gives a library
// whose every type, member, name and documentation can be asked for.
#include "Platform/Com/Bstr.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/TypeLib.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quillgate::com;

namespace {

void Walk(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    const FuncDesc* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) __builtin_trap();
    BSTR names[8] = {};
    UINT got = 0;
    if (SUCCEEDED(info->GetNames(func->memid, names, 8, &got))) {
      for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
    }
    BString name, doc;
    info->GetDocumentation(func->memid, name.Out(), doc.Out(), nullptr, nullptr);
    std::u16string text = func->name;
    LPOLESTR asked[] = {text.data()};
    MEMBERID id = 0;
    if (info->GetIDsOfNames(asked, 1, &id) != S_OK || id != func->memid) __builtin_trap();
  }
  ComPtr<ITypeLib> lib;
  UINT index = 0;
  info->GetContainingTypeLib(lib.Out(), &index);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TypeLibData parsed;
  try {
    parsed = ParseTypeLib(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const TypeLibFormatError&) {
    return 0;
  }
  ComPtr<ITypeLib> lib;
  if (FAILED(CreateTypeLib(std::move(parsed), lib.Out()))) return 0;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&attr))) lib->ReleaseTLibAttr(attr);
  BString name;
  lib->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(i, info.Out()))) __builtin_trap();
    Walk(info.Get());
  }
  return 0;
}
