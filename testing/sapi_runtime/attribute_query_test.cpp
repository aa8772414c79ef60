#include "testing/sapi_runtime/attribute_query.h"

#include <gtest/gtest.h>

#include <map>

namespace Quellmar::sapirt {
namespace {

AttributeLookup Attributes(std::map<std::wstring, std::wstring> values) {
  return [values](const std::wstring& name) -> std::optional<std::wstring> {
    for (const auto& [k, v] : values)
      if (EqualsNoCase(k, name)) return v;
    return std::nullopt;
  };
}

TEST(AttributeQuery, ParsesEqualsNotEqualsAndExists) {
  const auto c = ParseAttributeQuery(L" Gender = Male ;;Name!=X;Vendor; ");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].kind, AttributeCondition::Kind::Equals);
  EXPECT_EQ(c[0].name, L"Gender");
  EXPECT_EQ(c[0].value, L"Male");
  EXPECT_EQ(c[1].kind, AttributeCondition::Kind::NotEquals);
  EXPECT_EQ(c[2].kind, AttributeCondition::Kind::Exists);
  EXPECT_TRUE(ParseAttributeQuery(L"").empty());
}

TEST(AttributeQuery, MatchesWithoutCaseAndAgainstListedAlternatives) {
  const auto voice = Attributes({{L"Gender", L"Male"}, {L"Language", L"409;9"}, {L"Name", L"Quellmar Oskel"}});
  EXPECT_TRUE(SatisfiesAll(ParseAttributeQuery(L"Gender=Male;Language=409"), voice));
  EXPECT_TRUE(SatisfiesAll(ParseAttributeQuery(L"gender=male;language=9"), voice));
  EXPECT_FALSE(SatisfiesAll(ParseAttributeQuery(L"Gender=Female"), voice));
  EXPECT_FALSE(SatisfiesAll(ParseAttributeQuery(L"Language=40"), voice));
  EXPECT_TRUE(SatisfiesAll(ParseAttributeQuery(L"Name!=Other;Name"), voice));
  EXPECT_FALSE(SatisfiesAll(ParseAttributeQuery(L"Age"), voice));
  // A missing attribute is "not equal" to anything.
  EXPECT_TRUE(SatisfiesAll(ParseAttributeQuery(L"Age!=Child"), voice));
  EXPECT_EQ(CountSatisfied(ParseAttributeQuery(L"Gender=Male;Age=Adult;Vendor"), voice), 1u);
}

}  // namespace
}  // namespace Quellmar::sapirt
