// The editor's test recording on a Windows file system: converted in place
// when it is the engine's, left as it was when it is missing, held by
// another program or too large to be a word.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "common/durable_file.h"
#include "dictionary_editor/lexmere_editor.h"
#include "testing/test_env.h"

namespace Quellmar::lexmere {
namespace {

std::string Bytes(const std::string& path) {
  std::string bytes;
  EXPECT_EQ(LocalFiles().Read(NarrowPath(path), bytes, kDefaultReadLimit), FileError::kNone)
      << path;
  return bytes;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

uint32_t U32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

class TestRecordingFile : public ::testing::Test {
 protected:
  Quellmar::testing::TempDir dir_{"lexmere"};
  std::string path_ = (dir_.path() / "test.wav").string();
};

TEST_F(TestRecordingFile, TheEnginesFileBecomesTheSixteenBitImage) {
  const size_t n = 1000;
  Write(path_, std::string(46, 'h') + std::string(n, '\x80'));
  ConvertTestRecordingFile(path_);
  const std::string image = Bytes(path_);
  ASSERT_EQ(image.size(), 46 + 2 * n);
  EXPECT_EQ(U32(image, 4), 38 + 2 * n);
  EXPECT_EQ(U32(image, 42), 2 * n);
  EXPECT_EQ(static_cast<uint8_t>(image[46]), 0x7C);  // 0x80 expands to +32124 (0x7D7C)
  EXPECT_EQ(static_cast<uint8_t>(image[47]), 0x7D);
}

TEST_F(TestRecordingFile, AFileShorterThanItsHeaderBecomesAnImageWithoutSamples) {
  Write(path_, "short");
  ConvertTestRecordingFile(path_);
  const std::string image = Bytes(path_);
  ASSERT_EQ(image.size(), 46u);
  EXPECT_EQ(U32(image, 4), 38u);
}

TEST_F(TestRecordingFile, AMissingFileStaysMissing) {
  ConvertTestRecordingFile(path_);
  EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TestRecordingFile, AFileHeldByAnotherProgramIsLeftAsItWas) {
  Write(path_, std::string(46, 'h') + "abc");
  HANDLE held = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ConvertTestRecordingFile(path_);
  CloseHandle(held);
  EXPECT_EQ(Bytes(path_), std::string(46, 'h') + "abc");
}

TEST_F(TestRecordingFile, AHugeFileIsLeftAsItWas) {
  HANDLE f = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size{};
  size.QuadPart = 200LL << 20;
  ASSERT_TRUE(SetFilePointerEx(f, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(f));
  CloseHandle(f);
  ConvertTestRecordingFile(path_);
  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, uint64_t{200} << 20);
}

}  // namespace
}  // namespace Quellmar::lexmere
