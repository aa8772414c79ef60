#include "dictionary_editor/compiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "dictionary/format.h"

namespace Quellmar::dictionary {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    static int n = 0;
    std::random_device rd;
    path_ =
        fs::temp_directory_path() / ("qm-comp-" + std::to_string(rd()) + "-" + std::to_string(++n));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Prefix() const { return (path_ / "").string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string ReadBytes(const std::string& path) {
  std::string s;
  EXPECT_EQ(LocalFiles().Read(path, s, kDefaultReadLimit), FileError::kNone) << path;
  return s;
}
std::string Hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s += ' ';
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

// Runs Convert and Write on a source list in a fresh temp and dictionary
// folder, as the editor does when it closes.
struct Compile {
  TempFolder temp, dict;
  CollectingReporter reporter;
  int convert = -1, write = -1;
  explicit Compile(std::string_view source) {
    WriteBytes(dict.File("lexmere.txt"), source);
    convert = Convert(LocalFiles(), dict.File("lexmere.txt"), temp.Prefix(), reporter);
    if (convert == kConvertOk) write = Write(LocalFiles(), temp.Prefix(), dict.Prefix(), reporter);
  }
  std::string Temp(const char* name) { return ReadBytes(temp.File(name)); }
  std::string Dict(const char* name) { return ReadBytes(dict.File(name)); }
};

constexpr char kWorkedSource[] =
    "cat ka/t 00\r\ncats ka/ts 00\r\ncatnip ka/tnip 00\r\ncab ka/b 00\r\nzebra zi~/bru 00\r\n";

TEST(Compiler, WorkedExampleByteForByte) {
  Compile run(kWorkedSource);
  ASSERT_EQ(run.convert, kConvertOk);
  ASSERT_EQ(run.write, kWriteOk);
  EXPECT_TRUE(run.reporter.messages.empty());
  EXPECT_EQ(run.Temp("tempout.txt"),
            "cat\t0\t0\t00ka*t\r\ncat\t1\ts\t00ka*ts\r\ncat\t3\tnip\t00ka%tni/p\r\n"
            "cab\t0\t0\t00ka*b\r\nzeb\t2\tra\t00zi~%bru/\r\n");
  EXPECT_EQ(
      run.Temp("ds4"),
      "cab\t00ka*b\r\ncat\t00ka*t\r\ncats\t00ka*ts\r\ncatnip\t00ka%tni/p\r\nzebra\t00zi~%bru/\r\n");
  EXPECT_EQ(
      Hex(run.Dict("lexmere.fle")),
      "00 05 00 6b 61 2a 62 00 05 00 6b 61 2a 74 01 00 0b 73 06 00 6b 61 2a 74 73 03 00 10 6e 69 "
      "70 8b 00 6b 61 25 74 6e 69 2f 70 7c 02 00 0f 72 61 8b 00 7a 69 7e 25 62 72 75 2f");
  EXPECT_EQ(run.Dict("userhash.tab"), "3\r\n35\r\n24897  0\r\n24915  7\r\n60036  41\r\n");
  EXPECT_EQ(run.Dict("userhash.dvl"), "3\r\n3\r\n3\r\n3\r\n3\r\n3\r\n0\r\n3\r\n3\r\n2\r\n");
  // The user's list is only read.
  EXPECT_EQ(run.Dict("lexmere.txt"), kWorkedSource);
  EXPECT_FALSE(fs::exists(PendingName(run.dict.File("lexmere.fle"))));
}

TEST(Compiler, EmptySourceList) {
  Compile run("");
  ASSERT_EQ(run.write, kWriteOk);
  EXPECT_EQ(run.Dict("lexmere.fle"), "");
  EXPECT_EQ(run.Dict("userhash.tab"), "0\r\n1\r\n");
  std::string zeros;
  for (int k = 0; k < 10; ++k) zeros += "0\r\n";
  EXPECT_EQ(run.Dict("userhash.dvl"), zeros);
}

TEST(Compiler, HashOfWords) {
  EXPECT_EQ(WordHash("cab"), 24897);
  EXPECT_EQ(WordHash("zebra"), 60036);
  EXPECT_EQ(WordHash("CAB"), 24897);
  EXPECT_EQ(WordHash("a"), 14);
  EXPECT_EQ(WordHash("a9"), 14 * 39 + 13);
  EXPECT_EQ(WordHash("'-."), 1 * 1521 + 2 * 39 + 3);
  EXPECT_EQ(WordHash("\xe9#0"), 4);
  EXPECT_EQ(WordHash("zzz"), kHashSlots);  // one past the table
  EXPECT_EQ(WordHash("ZzZebra"), kHashSlots);
}

TEST(Compiler, EscapedLengthsCodesAndPayloads) {
  // A group of length 10 and a length byte of 10 are written as 140, never
  // as a line feed; the code "10" too. City, Country and State carry their
  // letter before the transcription.
  Compile run(
      "cats kat 10\r\ncab ka/tnips 00\r\nrome ro~m 02C\r\nperu peru~ 02D\r\nbob bo/b 02\r\n");
  ASSERT_EQ(run.write, kWriteOk);
  std::string fle = run.Dict("lexmere.fle");
  EXPECT_EQ(Hex(fle),
            // bob: code 2, no letter
            "00 05 02 62 6f 2a 62 "
            // cab: P of 9 bytes, length byte 10
            "00 8c 00 6b 61 25 74 6e 69 2f 70 73 "
            // cats: group of 10 bytes, code 10
            "7c 01 00 8c 73 05 8c 6b 61 2a 74 "
            // peru: D before the encoding
            "7c 01 00 0e 75 8b 02 44 70 65 25 72 75 7e 2f "
            // rome
            "7c 01 00 0c 65 89 02 43 72 6f 7e 2a 6d");
  for (unsigned char c : fle) {
    EXPECT_NE(c, '\n');
    EXPECT_NE(c, '\r');
  }
}

TEST(Compiler, ShortWordOpensTheBucketOfItsLongerNeighbours) {
  Compile run("tea te~ 00\r\nteam te~m 00\r\nteams te~mz 00\r\nteas te~z 00\r\n");
  ASSERT_EQ(run.write, kWriteOk);
  // One bucket: the short entry, then groups of 1 and 2 remaining letters
  // (the second group is 13 bytes long and its second entry's length 7,
  // both escaped).
  EXPECT_EQ(run.Dict("userhash.tab"), "1\r\n14\r\n" + std::to_string(WordHash("tea")) + "  0\r\n");
  EXPECT_EQ(Hex(run.Dict("lexmere.fle")),
            "00 05 00 74 65 7e 2a "
            "01 00 13 6d 06 00 74 65 7e 2a 6d 73 06 00 74 65 7e 2a 7a "
            "02 00 8f 6d 73 89 00 74 65 7e 2a 6d 7a");
}

TEST(Compiler, DigitAfterTwoCharacterCodeFailsWriteAndKeepsThePreviousFiles) {
  Compile good(kWorkedSource);
  ASSERT_EQ(good.write, kWriteOk);
  std::string fle = good.Dict("lexmere.fle"), tab = good.Dict("userhash.tab");
  WriteBytes(good.dict.File("lexmere.txt"), std::string(kWorkedSource) + "seven 7seven 00\r\n");
  ASSERT_EQ(Convert(LocalFiles(), good.dict.File("lexmere.txt"), good.temp.Prefix(), good.reporter),
            kConvertOk);
  EXPECT_EQ(Write(LocalFiles(), good.temp.Prefix(), good.dict.Prefix(), good.reporter),
            kWriteBadCode);
  EXPECT_EQ(good.Dict("lexmere.fle"), fle);
  EXPECT_EQ(good.Dict("userhash.tab"), tab);
  EXPECT_FALSE(fs::exists(PendingName(good.dict.File("lexmere.fle"))));
}

TEST(Compiler, DuplicatesAndCollisionsAreWrittenAndReported) {
  // Both long duplicates stay in their group; of two short ones only the
  // bucket written last is in the index. The engine finds one entry of each
  // word: the others are reported, and so is a bucket whose slot a later
  // one of the same hash takes ("Cab" and "cab" hash alike, but sort apart).
  Compile run(
      "cats ka/ts 00\r\ncats ka/tz 00\r\ncat ka/t 00\r\ncat ke/t 00\r\nCabin ka/bin 00\r\n"
      "cab ka/b 00\r\n");
  ASSERT_EQ(run.write, kWriteOk);
  EXPECT_EQ(Hex(run.Dict("lexmere.fle")),
            "7c 02 00 0e 69 6e 8a 00 6b 61 25 62 6e 27 2f "
            "00 05 00 6b 61 2a 62 "
            "00 05 00 6b 61 2a 74 "
            "00 05 00 6b 65 2a 74 01 00 13 73 06 00 6b 61 2a 74 73 73 06 00 6b 61 2a 74 7a");
  EXPECT_EQ(run.Dict("userhash.tab"), "2\r\n20\r\n24897  15\r\n24915  29\r\n");
  ASSERT_EQ(run.reporter.messages.size(), 1u);
  EXPECT_EQ(run.reporter.messages[0].text,
            std::string(kEntriesLeftOutText) +
                "Cabin: " + LeftOutReasonText(LeftOutReason::kSameHash) +
                "\ncat: " + LeftOutReasonText(LeftOutReason::kSameWord) +
                "\ncats: " + LeftOutReasonText(LeftOutReason::kSameWord) + "\n");
}

TEST(Compiler, ThreeZsAreLeftOutAndReported) {
  Compile run("zzz zi/z 00\r\nZZZtop zi/ztop 00\r\nzoo zu~ 00\r\n");
  ASSERT_EQ(run.write, kWriteOk);
  EXPECT_EQ(run.Dict("userhash.tab"), "1\r\n8\r\n" + std::to_string(WordHash("zoo")) + "  0\r\n");
  ASSERT_EQ(run.reporter.messages.size(), 1u);
  EXPECT_EQ(run.reporter.messages[0].caption, kLeftOutCaption);
  EXPECT_EQ(run.reporter.messages[0].text,
            std::string(kEntriesLeftOutText) +
                "ZZZtop: " + LeftOutReasonText(LeftOutReason::kNoHashSlot) +
                "\nzzz: " + LeftOutReasonText(LeftOutReason::kNoHashSlot) + "\n");
  EXPECT_EQ(run.Dict("lexmere.txt"), "zzz zi/z 00\r\nZZZtop zi/ztop 00\r\nzoo zu~ 00\r\n");
}

TEST(Compiler, GroupsStayWithinTheWorkingBuffer) {
  // 3000 words of seven letters sharing "abc": each entry is 4 + 2 + 4 bytes.
  std::string src;
  for (int k = 0; k < 3000; ++k) {
    char rest[8];
    std::snprintf(rest, sizeof rest, "%04d", k);
    src += std::string("abc") + rest + " ka/t 00\r\n";
  }
  Compile run(src);
  ASSERT_EQ(run.write, kWriteOk);
  std::string fle = run.Dict("lexmere.fle");
  ASSERT_GE(fle.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(fle[0]), kLongBucketMarker);
  int g = Unescape(static_cast<unsigned char>(fle[2])) * 127 +
          Unescape(static_cast<unsigned char>(fle[3]));
  EXPECT_EQ(fle.size(), 1u + g);
  EXPECT_LE(fle.size(), kWorkingBufferBytes);
  size_t kept = (g - 3) / 10;
  EXPECT_EQ(kept, (kWorkingBufferBytes - 4) / 10);
  char first_left_out[16];
  std::snprintf(first_left_out, sizeof first_left_out, "abc%04d: ", static_cast<int>(kept));
  ASSERT_EQ(run.reporter.messages.size(), 1u);
  EXPECT_NE(run.reporter.messages[0].text.find(std::string(first_left_out) +
                                               LeftOutReasonText(LeftOutReason::kGroupTooLong)),
            std::string::npos);
  EXPECT_NE(run.reporter.messages[0].text.find(
                "... and " + std::to_string(3000 - kept - kLeftOutListed) + " more\n"),
            std::string::npos);
}

TEST(Compiler, WordLengths) {
  std::string w200(200, 'q'), w142(142, 'r');
  Compile run("a e/ 00\r\nab a/b 00\r\nabc a/bk 00\r\n" + w200 + " kat 00\r\n" + w142 +
              " kat 00\r\n");
  ASSERT_EQ(run.write, kWriteOk);
  std::string fle = run.Dict("lexmere.fle");
  // A 200-letter word keeps its 197 remaining letters behind the byte 197.
  EXPECT_NE(fle.find(std::string("\x7c\xc5", 2)), std::string::npos);
  // 139 remaining letters would read back as an escaped 9.
  ASSERT_EQ(run.reporter.messages.size(), 1u);
  EXPECT_NE(run.reporter.messages[0].text.find(LeftOutReasonText(LeftOutReason::kTooLong)),
            std::string::npos);
  EXPECT_EQ(run.Dict("userhash.tab").substr(0, 3), "4\r\n");
}

TEST(Compiler, LinesThatAreNotThreeFieldsAreSkippedAndReported) {
  Compile run("one\r\n\r\ncat ka/t\r\ncab ka/b 00\r\n   \r\nzebra zi~/bru 00");
  ASSERT_EQ(run.write, kWriteOk);
  EXPECT_EQ(run.Temp("ds4"), "cab\t00ka*b\r\nzebra\t00zi~%bru/\r\n");
  ASSERT_EQ(run.reporter.messages.size(), 1u);
  EXPECT_EQ(run.reporter.messages[0].text,
            std::string(kLinesLeftOutText) + "line 1: one\nline 3: cat ka/t\n");
}

TEST(Compiler, OldMacintoshLineEnds) {
  std::string cr;
  for (char c : std::string_view(kWorkedSource)) {
    if (c != '\n') cr += c;
  }
  Compile run(cr);
  ASSERT_EQ(run.write, kWriteOk);
  Compile crlf(kWorkedSource);
  EXPECT_EQ(run.Dict("lexmere.fle"), crlf.Dict("lexmere.fle"));
  EXPECT_TRUE(run.reporter.messages.empty());
}

TEST(Compiler, BinaryAndOddSourceListsNeverFail) {
  std::mt19937 rng(7);
  for (int k = 0; k < 20; ++k) {
    std::string bytes(2000, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    Compile run(bytes);
    EXPECT_EQ(run.convert, kConvertOk);
    EXPECT_TRUE(run.write == kWriteOk || run.write == kWriteBadCode) << run.write;
  }
}

TEST(Compiler, MissingFilesAndFoldersAreNamed) {
  TempFolder dir;
  CollectingReporter r;
  EXPECT_EQ(Convert(LocalFiles(), dir.File("absent.txt"), dir.Prefix(), r), kConvertFailed);
  EXPECT_EQ(r.messages.back(), (ReportedMessage{kCannotOpenInputText, kFileOpenErrorCaption}));

  WriteBytes(dir.File("lexmere.txt"), kWorkedSource);
  const std::string not_found = FileErrorText(FileError::kNotFound);
  EXPECT_EQ(Convert(LocalFiles(), dir.File("lexmere.txt"), dir.Prefix() + "no-temp/", r),
            kConvertFailed);
  EXPECT_EQ(r.messages.back(),
            (ReportedMessage{std::string(kCannotOpenTempText) + "tempout.txt " + not_found + ".\n",
                             kFileOpenErrorCaption}));

  EXPECT_EQ(Write(LocalFiles(), dir.Prefix() + "no-temp/", dir.Prefix(), r), kWriteFilesFailed);
  EXPECT_EQ(r.messages.back().text, std::string(kCannotOpenTempText) + "ds4 " + not_found + ".\n");

  ASSERT_EQ(Convert(LocalFiles(), dir.File("lexmere.txt"), dir.Prefix(), r), kConvertOk);
  EXPECT_EQ(Write(LocalFiles(), dir.Prefix(), dir.Prefix() + "no-dict", r), kWriteFilesFailed);
  EXPECT_EQ(r.messages.back().text, std::string(kSetNotWrittenText) + "lexmere.fle " +
                                        FileErrorText(FileError::kNotFound) + "." + kNoChangeText);
  EXPECT_EQ(ReadBytes(dir.File("lexmere.txt")), kWorkedSource);

  // The set is in use, but its copy under a plain name cannot be made: said.
  ASSERT_EQ(Write(LocalFiles(), dir.Prefix(), dir.Prefix(), r), kWriteOk);
  fs::create_directories(PendingName(dir.File("userhash.tab")) / "x");
  r.messages.clear();
  EXPECT_EQ(Write(LocalFiles(), dir.Prefix(), dir.Prefix(), r), kWriteOk);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text.find(kPlainCopyNotWrittenText), 0u) << r.messages[0].text;
  EXPECT_NE(r.messages[0].text.find("userhash.tab"), std::string::npos);
}

// Random source lists give the same bytes on every platform: a digest of
// the compiled files of seeded lists, computed once and fixed here.
TEST(Compiler, SameBytesEverywhere) {
  std::mt19937 rng(1209);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz'-.0";
  const char* codes[] = {"00", "10", "02C", "02D", "02", "20"};
  const char* phonetics[] = {"ka/t", "bana/na", "pensil", "a~me/rika", "zi~bru", "str", "o'/l"};
  std::string src;
  for (int k = 0; k < 4000; ++k) {
    std::string w;
    size_t len = 1 + rng() % 9;
    for (size_t j = 0; j < len; ++j) w += letters[rng() % (j < 2 ? 4 : letters.size())];
    src += w + " " + phonetics[rng() % 7] + " " + codes[rng() % 6] + "\r\n";
  }
  Compile run(src);
  ASSERT_EQ(run.write, kWriteOk);
  uint64_t h = 1469598103934665603ull;
  for (const char* f : {"lexmere.fle", "userhash.tab", "userhash.dvl"}) {
    for (unsigned char c : run.Dict(f)) h = (h ^ c) * 1099511628211ull;
  }
  EXPECT_EQ(h, 11634442568560046978ull) << "digest";
}

}  // namespace
}  // namespace Quellmar::dictionary
