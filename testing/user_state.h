// A test fixture that gives each test a clean user: no Quellmar registry keys
// (per-user settings and the machine's install location) and a private
// LOCALAPPDATA, so that logs and settings of one test never leak into another.
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "testing/test_env.h"

namespace Quellmar::testing {

// Writes (creating the key) or deletes values under HKCU\Software\Quellmar SAPI5\<subkey>.
bool SetUserDword(const std::wstring& subkey, const std::wstring& name, DWORD value);
bool SetUserValue(const std::wstring& subkey, const std::wstring& name, DWORD type,
                  const void* data, DWORD size);
void DeleteQuellmarKeys();

class CleanUserState : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The private LOCALAPPDATA of this test (also set in this process's
  // environment, so child processes inherit it).
  const std::filesystem::path& local_app_data() const { return temp_->path(); }
  std::filesystem::path log_folder() const { return local_app_data() / L"Quellmar SAPI5"; }

 private:
  std::unique_ptr<TempDir> temp_;
  std::wstring saved_local_app_data_;
  bool had_local_app_data_ = false;
};

}  // namespace Quellmar::testing
