#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dictionary_editor/selection_after_delete.h"
#include "dictionary_editor/test_recording.h"
#include "engine_host/mulaw.h"

namespace Quellmar::dictionary {
namespace {

uint32_t U32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
         static_cast<uint8_t>(s[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
uint16_t U16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

std::string EngineFile(const std::string& samples) {
  // The engine core's header: its content is not read, only its length.
  return std::string(kTestRecordingHeaderBytes, 'h') + samples;
}

TEST(TestRecording, ImageOfNSamplesHasTheFixedHeaderAndExpandedSamples) {
  std::string samples;
  for (int b = 0; b < 256; ++b) samples.push_back(static_cast<char>(b));
  const auto image = ConvertTestRecording(EngineFile(samples));
  ASSERT_TRUE(image);
  const size_t n = samples.size();
  ASSERT_EQ(image->size(), 46 + 2 * n);
  EXPECT_EQ(image->substr(0, 4), "RIFF");
  EXPECT_EQ(U32(*image, 4), 38 + 2 * n);
  EXPECT_EQ(image->substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(U32(*image, 16), 18u);
  EXPECT_EQ(U16(*image, 20), 1);
  EXPECT_EQ(U16(*image, 22), 1);
  EXPECT_EQ(U32(*image, 24), 8000u);
  EXPECT_EQ(U32(*image, 28), 16000u);
  EXPECT_EQ(U16(*image, 32), 2);
  EXPECT_EQ(U16(*image, 34), 16);
  EXPECT_EQ(U16(*image, 36), 0);
  EXPECT_EQ(image->substr(38, 4), "data");
  EXPECT_EQ(U32(*image, 42), 2 * n);
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(static_cast<int16_t>(U16(*image, 46 + 2 * i)), MuLawTable()[i]) << i;
  }
}

TEST(TestRecording, ShortOrEmptyFilesGiveAnImageWithoutSamples) {
  for (size_t length : {size_t{0}, size_t{1}, size_t{45}, size_t{46}}) {
    const auto image = ConvertTestRecording(std::string(length, '\x7F'));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), 46u) << length;
    EXPECT_EQ(U32(*image, 4), 38u);
    EXPECT_EQ(U32(*image, 42), 0u);
  }
}

TEST(TestRecording, AFileTooLargeToBeAWordIsNotConverted) {
  const char byte = 0;
  // Only the length is looked at before the file is refused.
  const std::string_view huge(&byte, kTestRecordingHeaderBytes + kTestRecordingMaxSamples + 1);
  EXPECT_FALSE(ConvertTestRecording(huge));
}

TEST(SelectionAfterDelete, FollowsTheListOrder) {
  // The first entry of the list: row 0 of what is left.
  EXPECT_EQ(SelectionAfterDelete(0, false, false, 4), 0);
  // A middle entry: its successor moved up into the same row.
  EXPECT_EQ(SelectionAfterDelete(2, true, true, 4), 2);
  // The last entry: the row before it.
  EXPECT_EQ(SelectionAfterDelete(4, true, false, 4), 3);
  // The only entry: nothing is left to select.
  EXPECT_EQ(SelectionAfterDelete(0, false, false, 0), -1);
  // A hand-edited list out of order never selects past the end.
  EXPECT_EQ(SelectionAfterDelete(3, true, true, 3), 2);
}

}  // namespace
}  // namespace Quellmar::dictionary
