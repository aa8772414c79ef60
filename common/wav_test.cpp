#include "common/wav.h"

#include <gtest/gtest.h>

namespace Quellmar {
namespace {

TEST(Wav, HeaderAndSamplesAreLittleEndianPcmMono) {
  std::vector<int16_t> samples = {1, -2, 0x1234};
  std::vector<uint8_t> f = PcmWavFile(16000, samples);
  ASSERT_EQ(f.size(), kWavHeaderBytes + 6);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(f[4], 36 + 6);  // RIFF size
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(f[20], 1);      // PCM
  EXPECT_EQ(f[22], 1);      // mono
  EXPECT_EQ(f[24] | f[25] << 8, 16000);
  EXPECT_EQ(f[28] | f[29] << 8, 32000);  // bytes per second
  EXPECT_EQ(f[32], 2);
  EXPECT_EQ(f[34], 16);
  EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
  EXPECT_EQ(f[40], 6);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 44, f.end()),
            (std::vector<uint8_t>{0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12}));
  EXPECT_EQ(PcmWavHeader(8000, 0x01020304).at(40), 0x04);
  EXPECT_EQ(PcmWavHeader(8000, 0x01020304).at(43), 0x01);
}

}  // namespace
}  // namespace Quellmar
