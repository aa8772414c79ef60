#include "testing/sapi_runtime/attribute_query.h"

#include <algorithm>

namespace Quellmar::sapirt {
namespace {

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring Trim(const std::wstring& s) {
  const auto first = s.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  const auto last = s.find_last_not_of(L" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
    if (at == std::wstring::npos) break;
    start = at + 1;
  }
  return parts;
}

}  // namespace

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return Lower(x) == Lower(y); });
}

std::vector<AttributeCondition> ParseAttributeQuery(const std::wstring& query) {
  std::vector<AttributeCondition> conditions;
  for (const std::wstring& raw : Split(query, L';')) {
    const std::wstring part = Trim(raw);
    if (part.empty()) continue;
    AttributeCondition c;
    const size_t ne = part.find(L"!=");
    const size_t eq = part.find(L'=');
    if (ne != std::wstring::npos && ne < eq) {
      c.kind = AttributeCondition::Kind::NotEquals;
      c.name = Trim(part.substr(0, ne));
      c.value = Trim(part.substr(ne + 2));
    } else if (eq != std::wstring::npos) {
      c.kind = AttributeCondition::Kind::Equals;
      c.name = Trim(part.substr(0, eq));
      c.value = Trim(part.substr(eq + 1));
    } else {
      c.name = part;
    }
    if (!c.name.empty()) conditions.push_back(std::move(c));
  }
  return conditions;
}

bool Satisfies(const AttributeCondition& condition, const AttributeLookup& lookup) {
  const std::optional<std::wstring> stored = lookup(condition.name);
  bool equal = false;
  if (stored) {
    for (const std::wstring& alternative : Split(*stored, L';')) {
      if (EqualsNoCase(Trim(alternative), condition.value)) equal = true;
    }
  }
  switch (condition.kind) {
    case AttributeCondition::Kind::Exists: return stored.has_value();
    case AttributeCondition::Kind::Equals: return equal;
    case AttributeCondition::Kind::NotEquals: return !equal;
  }
  return false;
}

size_t CountSatisfied(const std::vector<AttributeCondition>& conditions, const AttributeLookup& lookup) {
  return static_cast<size_t>(std::count_if(conditions.begin(), conditions.end(),
                                           [&](const AttributeCondition& c) { return Satisfies(c, lookup); }));
}

bool SatisfiesAll(const std::vector<AttributeCondition>& conditions, const AttributeLookup& lookup) {
  return CountSatisfied(conditions, lookup) == conditions.size();
}

}  // namespace Quellmar::sapirt
