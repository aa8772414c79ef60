// Token attribute queries as hosts write them: "Gender=Male;Language=409",
// "Name!=X", or a bare "Vendor" (the attribute exists). Names and values
// compare without regard to ASCII case; a stored value may list several
// alternatives separated by ';' ("409;9").
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Quellmar::sapirt {

struct AttributeCondition {
  enum class Kind { Exists, Equals, NotEquals };
  Kind kind = Kind::Exists;
  std::wstring name;
  std::wstring value;
};

// Empty or whitespace-only parts are dropped; white space around names and
// values is trimmed.
std::vector<AttributeCondition> ParseAttributeQuery(const std::wstring& query);

// Looks up an attribute's stored text by name; nullopt when it is missing.
using AttributeLookup = std::function<std::optional<std::wstring>(const std::wstring& name)>;

bool Satisfies(const AttributeCondition& condition, const AttributeLookup& lookup);
// How many of the conditions hold.
size_t CountSatisfied(const std::vector<AttributeCondition>& conditions,
                      const AttributeLookup& lookup);
bool SatisfiesAll(const std::vector<AttributeCondition>& conditions, const AttributeLookup& lookup);

bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

}  // namespace Quellmar::sapirt
