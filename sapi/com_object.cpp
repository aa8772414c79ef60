#include "sapi/com_object.h"

#include <cstring>

namespace Quellmar::com {
namespace {
std::atomic<long> g_object_count{0};
}

void ModuleAddRef() noexcept { ++g_object_count; }
void ModuleRelease() noexcept { --g_object_count; }
long ModuleObjectCount() noexcept { return g_object_count.load(); }

wchar_t* CoTaskCopy(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

}  // namespace Quellmar::com
