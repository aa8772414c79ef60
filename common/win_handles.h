// The Windows resources the system holds, each with its owning type.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include "common/unique_handle.h"

namespace Quellmar {

// Kernel handles whose "none" value is null (events, mutexes, threads, processes).
struct kernel_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer h) noexcept { ::CloseHandle(h); }
};
// Handles whose "none" value is INVALID_HANDLE_VALUE (files, pipes).
struct file_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct reg_key_traits {
  using pointer = HKEY;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer k) noexcept { ::RegCloseKey(k); }
};
struct module_traits {
  using pointer = HMODULE;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer m) noexcept { ::FreeLibrary(m); }
};
struct find_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) noexcept { ::FindClose(h); }
};
struct mapped_view_traits {
  using pointer = void*;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer v) noexcept { ::UnmapViewOfFile(v); }
};
struct local_alloc_traits {
  using pointer = void*;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer p) noexcept { ::LocalFree(p); }
};
// Fonts, brushes, bitmaps.
struct gdi_object_traits {
  using pointer = HGDIOBJ;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer o) noexcept { ::DeleteObject(o); }
};
struct cotaskmem_traits {
  using pointer = void*;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer p) noexcept { ::CoTaskMemFree(p); }
};

using unique_kernel_handle = unique_handle<kernel_handle_traits>;
using unique_file = unique_handle<file_handle_traits>;
using unique_reg_key = unique_handle<reg_key_traits>;
using unique_module = unique_handle<module_traits>;
using unique_find = unique_handle<find_handle_traits>;
using unique_mapped_view = unique_handle<mapped_view_traits>;
using unique_local_alloc = unique_handle<local_alloc_traits>;
using unique_cotaskmem = unique_handle<cotaskmem_traits>;
using unique_gdi_object = unique_handle<gdi_object_traits>;

}  // namespace Quellmar
