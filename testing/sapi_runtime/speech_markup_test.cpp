#include "testing/sapi_runtime/speech_markup.h"

#include <gtest/gtest.h>

namespace Quellmar::sapirt {
namespace {

TEST(SpeechMarkup, PlainTextIsOneSpeakFragmentWithNeutralProsody) {
  const auto f = PlainTextFragments(L"Hello <not markup>");
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].action, MarkupAction::Speak);
  EXPECT_EQ(f[0].text, L"Hello <not markup>");
  EXPECT_EQ(f[0].rate, 0);
  EXPECT_EQ(f[0].volume, 100u);
}

TEST(SpeechMarkup, ElementsBecomeTheFragmentsAnEngineSees) {
  const std::wstring text =
      L"A <bookmark mark=\"42\"/>B<silence msec=\"250\"/><spell>ab</spell>"
      L"<rate speed=\"5\"><pitch middle=\"-3\"><volume level=\"50\">C</volume></pitch></rate>D"
      L"<pron sym=\"h eh 1 l ow\">hello</pron><emph>E</emph><foo/>";
  const auto f = ParseSpeechMarkup(text);
  ASSERT_EQ(f.size(), 10u);
  EXPECT_EQ(f[0].action, MarkupAction::Speak);
  EXPECT_EQ(f[0].text, L"A ");
  EXPECT_EQ(f[0].source_offset, 0u);
  EXPECT_EQ(f[1].action, MarkupAction::Bookmark);
  EXPECT_EQ(f[1].text, L"42");
  EXPECT_EQ(f[2].text, L"B");
  EXPECT_EQ(f[2].source_offset, text.find(L'B'));
  EXPECT_EQ(f[3].action, MarkupAction::Silence);
  EXPECT_EQ(f[3].silence_ms, 250u);
  EXPECT_EQ(f[4].action, MarkupAction::SpellOut);
  EXPECT_EQ(f[4].text, L"ab");
  EXPECT_EQ(f[5].text, L"C");
  EXPECT_EQ(f[5].rate, 5);
  EXPECT_EQ(f[5].pitch, -3);
  EXPECT_EQ(f[5].volume, 50u);
  // Closing the elements restores the outer prosody.
  EXPECT_EQ(f[6].text, L"D");
  EXPECT_EQ(f[6].rate, 0);
  EXPECT_EQ(f[6].pitch, 0);
  EXPECT_EQ(f[6].volume, 100u);
  EXPECT_EQ(f[7].action, MarkupAction::Pronounce);
  EXPECT_EQ(f[7].text, L"hello");
  EXPECT_EQ(f[7].phonemes, L"h eh 1 l ow");
  EXPECT_EQ(f[8].text, L"E");  // emph only scopes
  EXPECT_EQ(f[9].action, MarkupAction::ParseUnknownTag);
  EXPECT_EQ(f[9].text, L"<foo/>");
}

TEST(SpeechMarkup, EmptyElementsChangeTheRestAndValuesAreLimited) {
  const auto f = ParseSpeechMarkup(L"<rate absspeed=\"7\"/>a<rate speed=\"9\">b</rate><pitch absmiddle=\"-40\"/>c"
                                   L"<volume level=\"300\"/>d");
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].rate, 7);
  EXPECT_EQ(f[1].rate, 10);
  EXPECT_EQ(f[2].rate, 7);
  EXPECT_EQ(f[2].pitch, -10);
  EXPECT_EQ(f[3].volume, 100u);
}

TEST(SpeechMarkup, EntitiesEmptyBookmarksAndBrokenMarkup) {
  auto f = ParseSpeechMarkup(L"<bookmark mark=\"\"/>x &lt;&amp;&gt; y<bookmark/>");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].action, MarkupAction::Bookmark);
  EXPECT_TRUE(f[0].text.empty());
  EXPECT_EQ(f[1].text, L"x <&> y");
  EXPECT_TRUE(f[2].text.empty());
  // White space between elements makes no fragment; an unclosed '<' is text.
  f = ParseSpeechMarkup(L"<sapi>  <silence msec=\"x\"/>  </sapi>tail <unclosed");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].silence_ms, 0u);
  EXPECT_EQ(f[1].text, L"tail <unclosed");
  EXPECT_TRUE(ParseSpeechMarkup(L"").empty());
  EXPECT_TRUE(ParseSpeechMarkup(L"<!-- all comment --><?xml version=\"1.0\"?>").empty());
}

}  // namespace
}  // namespace Quellmar::sapirt
