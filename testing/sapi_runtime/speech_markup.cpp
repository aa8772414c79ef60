#include "testing/sapi_runtime/speech_markup.h"

#include <algorithm>
#include <cwchar>
#include <map>

#include "testing/sapi_runtime/attribute_query.h"

namespace Quellmar::sapirt {
namespace {

struct Prosody {
  int32_t rate = 0;
  uint32_t volume = 100;
  int32_t pitch = 0;
};

struct Scope {
  std::wstring name;
  Prosody saved;
  bool spell = false;
  bool pron = false;
  std::wstring phonemes;
};

struct Tag {
  std::wstring name;
  std::map<std::wstring, std::wstring> attributes;  // lower-case names
  bool closing = false;
  bool empty = false;
};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring LowerAscii(std::wstring s) {
  for (wchar_t& c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

std::wstring DecodeEntities(const std::wstring& s) {
  static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
      {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&amp;", L'&'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
  std::wstring out;
  for (size_t i = 0; i < s.size();) {
    bool done = false;
    if (s[i] == L'&') {
      for (const auto& [name, c] : kEntities) {
        if (s.compare(i, wcslen(name), name) == 0) {
          out.push_back(c);
          i += wcslen(name);
          done = true;
          break;
        }
      }
    }
    if (!done) out.push_back(s[i++]);
  }
  return out;
}

Tag ParseTag(const std::wstring& body) {
  Tag tag;
  size_t i = 0;
  if (i < body.size() && body[i] == L'/') {
    tag.closing = true;
    ++i;
  }
  std::wstring b = body;
  if (!b.empty() && b.back() == L'/') {
    tag.empty = true;
    b.pop_back();
  }
  while (i < b.size() && IsSpace(b[i])) ++i;
  const size_t name_start = i;
  while (i < b.size() && !IsSpace(b[i])) ++i;
  tag.name = LowerAscii(b.substr(name_start, i - name_start));
  while (i < b.size()) {
    while (i < b.size() && IsSpace(b[i])) ++i;
    const size_t n0 = i;
    while (i < b.size() && b[i] != L'=' && !IsSpace(b[i])) ++i;
    std::wstring name = LowerAscii(b.substr(n0, i - n0));
    while (i < b.size() && IsSpace(b[i])) ++i;
    if (i >= b.size() || b[i] != L'=') {
      if (name.empty()) ++i;
      continue;
    }
    ++i;
    while (i < b.size() && IsSpace(b[i])) ++i;
    std::wstring value;
    if (i < b.size() && (b[i] == L'"' || b[i] == L'\'')) {
      const wchar_t quote = b[i++];
      const size_t v0 = i;
      while (i < b.size() && b[i] != quote) ++i;
      value = b.substr(v0, i - v0);
      if (i < b.size()) ++i;
    } else {
      const size_t v0 = i;
      while (i < b.size() && !IsSpace(b[i])) ++i;
      value = b.substr(v0, i - v0);
    }
    if (!name.empty()) tag.attributes[name] = DecodeEntities(value);
  }
  return tag;
}

long Number(const std::map<std::wstring, std::wstring>& attributes, const wchar_t* name, long fallback) {
  const auto it = attributes.find(name);
  if (it == attributes.end()) return fallback;
  wchar_t* end = nullptr;
  const long v = std::wcstol(it->second.c_str(), &end, 10);
  return end == it->second.c_str() ? fallback : v;
}

int32_t Clamp10(long v) { return static_cast<int32_t>(std::clamp(v, -10L, 10L)); }

class Parser {
 public:
  explicit Parser(const std::wstring& source) : source_(source) {}

  std::vector<MarkupFragment> Run() {
    size_t text_start = 0;
    size_t i = 0;
    while (i < source_.size()) {
      if (source_[i] != L'<') {
        ++i;
        continue;
      }
      size_t end;
      if (source_.compare(i, 4, L"<!--") == 0) {
        end = source_.find(L"-->", i + 4);
        if (end == std::wstring::npos) break;
        FlushText(text_start, i);
        i = text_start = end + 3;
        continue;
      }
      end = source_.find(L'>', i + 1);
      if (end == std::wstring::npos) break;  // the rest is text
      FlushText(text_start, i);
      HandleTag(source_.substr(i + 1, end - i - 1), i);
      i = text_start = end + 1;
    }
    FlushText(text_start, source_.size());
    return std::move(fragments_);
  }

 private:
  MarkupFragment Fragment(MarkupAction action, size_t offset) const {
    MarkupFragment f;
    f.action = action;
    f.source_offset = offset;
    f.rate = prosody_.rate;
    f.volume = prosody_.volume;
    f.pitch = prosody_.pitch;
    return f;
  }

  void FlushText(size_t from, size_t to) {
    if (to <= from) return;
    const std::wstring raw = source_.substr(from, to - from);
    if (std::all_of(raw.begin(), raw.end(), IsSpace)) return;
    MarkupFragment f = Fragment(
        spell_ ? MarkupAction::SpellOut : pron_ ? MarkupAction::Pronounce : MarkupAction::Speak, from);
    f.text = DecodeEntities(raw);
    if (pron_) f.phonemes = phonemes_;
    fragments_.push_back(std::move(f));
  }

  void Open(const Tag& tag) {
    if (!tag.empty) scopes_.push_back({tag.name, prosody_, spell_, pron_, phonemes_});
  }

  void HandleTag(const std::wstring& body, size_t offset) {
    if (!body.empty() && (body[0] == L'?' || body[0] == L'!')) return;  // declarations
    const Tag tag = ParseTag(body);
    static const wchar_t* const kScopeOnly[] = {L"sapi", L"voice", L"emph", L"lang", L"partofsp", L"context"};
    const bool known = tag.name == L"bookmark" || tag.name == L"silence" || tag.name == L"spell" ||
                       tag.name == L"rate" || tag.name == L"volume" || tag.name == L"pitch" ||
                       tag.name == L"pron" ||
                       std::any_of(std::begin(kScopeOnly), std::end(kScopeOnly),
                                   [&](const wchar_t* n) { return tag.name == n; });
    if (!known) {
      MarkupFragment f = Fragment(MarkupAction::ParseUnknownTag, offset);
      f.text = L"<" + body + L">";
      fragments_.push_back(std::move(f));
      return;
    }
    if (tag.closing) {
      // Close the innermost scope of that name and everything opened inside it.
      for (size_t k = scopes_.size(); k-- > 0;) {
        if (scopes_[k].name != tag.name) continue;
        prosody_ = scopes_[k].saved;
        spell_ = scopes_[k].spell;
        pron_ = scopes_[k].pron;
        phonemes_ = scopes_[k].phonemes;
        scopes_.resize(k);
        break;
      }
      return;
    }
    if (tag.name == L"bookmark") {
      MarkupFragment f = Fragment(MarkupAction::Bookmark, offset);
      const auto it = tag.attributes.find(L"mark");
      if (it != tag.attributes.end()) f.text = it->second;
      fragments_.push_back(std::move(f));
    } else if (tag.name == L"silence") {
      MarkupFragment f = Fragment(MarkupAction::Silence, offset);
      f.silence_ms = static_cast<uint32_t>(std::clamp(Number(tag.attributes, L"msec", 0), 0L, 65535L));
      fragments_.push_back(std::move(f));
    } else if (tag.name == L"spell") {
      Open(tag);
      if (!tag.empty) spell_ = true;
    } else if (tag.name == L"pron") {
      const auto it = tag.attributes.find(L"sym");
      const std::wstring sym = it == tag.attributes.end() ? std::wstring() : it->second;
      if (tag.empty) {
        MarkupFragment f = Fragment(MarkupAction::Pronounce, offset);
        f.phonemes = sym;
        fragments_.push_back(std::move(f));
      } else {
        Open(tag);
        pron_ = true;
        phonemes_ = sym;
      }
    } else {
      Open(tag);
      if (tag.name == L"rate") {
        prosody_.rate = Clamp10(Number(tag.attributes, L"absspeed", prosody_.rate + Number(tag.attributes, L"speed", 0)));
      } else if (tag.name == L"volume") {
        prosody_.volume = static_cast<uint32_t>(std::clamp(Number(tag.attributes, L"level", prosody_.volume), 0L, 100L));
      } else if (tag.name == L"pitch") {
        prosody_.pitch = Clamp10(Number(tag.attributes, L"absmiddle", prosody_.pitch + Number(tag.attributes, L"middle", 0)));
      }
    }
  }

  const std::wstring& source_;
  std::vector<MarkupFragment> fragments_;
  std::vector<Scope> scopes_;
  Prosody prosody_;
  bool spell_ = false;
  bool pron_ = false;
  std::wstring phonemes_;
};

}  // namespace

std::vector<MarkupFragment> PlainTextFragments(const std::wstring& text) {
  std::vector<MarkupFragment> fragments(1);
  fragments[0].text = text;
  return fragments;
}

std::vector<MarkupFragment> ParseSpeechMarkup(const std::wstring& text) { return Parser(text).Run(); }

}  // namespace Quellmar::sapirt
