// qmtool text --op collapse|spell|punctuation|chunks|engine [--limit N]:
// one text preparation step over UTF-8 text on standard input. Wide results
// are written as UTF-8 (chunks one a line), engine text as its raw bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_prep.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// UTF-8 into UTF-16 units (one unit per wchar_t, as on Windows); each byte of
// a malformed sequence becomes U+FFFD.
std::wstring Utf16FromUtf8(const std::string& in) {
  std::wstring out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < in.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(in[i + static_cast<size_t>(k)]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    i += static_cast<size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(cp));
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 units to UTF-8; a unit of a broken pair is written as U+FFFD.
std::string Utf8FromUtf16(const std::wstring& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const auto u = static_cast<char32_t>(in[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < in.size() &&
        static_cast<char32_t>(in[i + 1]) >= 0xDC00 && static_cast<char32_t>(in[i + 1]) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(in[++i]) - 0xDC00));
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::string ReadStdin() {
  std::string in;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), stdin)) > 0) in.append(buf, n);
  return in;
}

void Write(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

int Run(const Args& args) {
  const std::string* op = Option(args, "--op");
  if (!op) {
    std::fprintf(stderr, "qmtool text: --op is required\n");
    return 2;
  }
  double limit = static_cast<double>(kChunkLimit);
  if (const std::string* l = Option(args, "--limit");
      l && (!ParseDouble(*l, limit) || limit < 0 || limit > 1e9 ||
            limit != static_cast<size_t>(limit))) {
    std::fprintf(stderr, "qmtool text: bad --limit\n");
    return 2;
  }
  const std::wstring text = Utf16FromUtf8(ReadStdin());
  if (*op == "collapse") {
    Write(Utf8FromUtf16(CollapseWhitespace(text)));
  } else if (*op == "spell") {
    Write(Utf8FromUtf16(SpellOut(text)));
  } else if (*op == "punctuation") {
    Write(Utf8FromUtf16(NamePunctuation(text)));
  } else if (*op == "chunks") {
    for (const std::wstring& chunk : SplitIntoChunks(text, static_cast<size_t>(limit))) {
      Write(Utf8FromUtf16(chunk) + "\n");
    }
  } else if (*op == "engine") {
    Write(ToEngineText(text));
  } else {
    std::fprintf(stderr, "qmtool text: unknown --op '%s'\n", op->c_str());
    return 2;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

QM_TOOL_COMMAND("text",
                "text --op collapse|spell|punctuation|chunks|engine [--limit N] < utf8-text", Run);

}  // namespace Quellmar::tool
