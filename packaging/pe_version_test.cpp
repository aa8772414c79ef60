#include "packaging/pe_version.h"

#include <gtest/gtest.h>

#include "testing/pe_image.h"

namespace Quellmar::packaging {
namespace {

using testing::PeImage;
using testing::PeImageSpec;

TEST(PeVersion, ReadsTheFixedFileVersionAndLanguageOfBothImageKinds) {
  struct Case {
    PeImageSpec spec;
    const char* version;
    unsigned language;
  };
  const Case cases[] = {
      {{true, 0x00010000, 0x00000000, 0x409}, "1.0.0.0", 1033},
      {{false, 0x00FF00FF, 0xFFFF0007, 0x407}, "255.255.65535.7", 1031},
  };
  for (const Case& c : cases) {
    const auto v = ReadPeVersion(PeImage(c.spec));
    ASSERT_TRUE(v) << c.version;
    EXPECT_EQ(v->file_version, c.version);
    EXPECT_EQ(v->language, c.language);
  }
}

TEST(PeVersion, NothingWithoutAVersionResource) {
  PeImageSpec icons_only;
  icons_only.resource_type = 3;
  std::string not_pe = PeImage({});
  not_pe[0x40] = 'X';
  std::string bad_signature = PeImage({});
  bad_signature[0x200 + 0x58 + 40] ^= 1;
  for (const std::string& image :
       {PeImage(icons_only), not_pe, bad_signature, std::string("MZ"), std::string()}) {
    EXPECT_FALSE(ReadPeVersion(image));
  }
}

}  // namespace
}  // namespace Quellmar::packaging
