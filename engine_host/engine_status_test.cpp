#include "engine_host/engine_status.h"

#include <gtest/gtest.h>

#include <string>

namespace Quellmar {
namespace {

TEST(StatusName, NeighboursOfDocumentedCodesAreUnknown) {
  for (int32_t code : {-1, 2, 2699, 2701, 2871, 2899, 3001, 3011, 99999, INT32_MIN, INT32_MAX}) {
    EXPECT_STREQ(StatusName(code), "unknown engine status") << code;
  }
  EXPECT_STREQ(StatusName(1), "no more speech in this utterance");
  EXPECT_STREQ(StatusName(2870), "nothing speakable in the text");
  EXPECT_STREQ(StatusName(3010), "the engine's channel limit is exhausted");
}

}  // namespace
}  // namespace Quellmar
