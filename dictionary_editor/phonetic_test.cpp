#include "dictionary_editor/phonetic.h"

#include <gtest/gtest.h>

#include "dictionary_editor/dictionary_entry.h"

namespace Quellmar::dictionary {
namespace {

TEST(EncodePhonetic, WorkedExamples) {
  EXPECT_EQ(EncodePhonetic("bana/na"), "ba#na%na/");
  EXPECT_EQ(EncodePhonetic("kat"), "ka*t");
  EXPECT_EQ(EncodePhonetic("ba\\na\\na"), "ba(na%na/");
  EXPECT_EQ(EncodePhonetic("pensil"), "pe%nsl'/");
  EXPECT_EQ(EncodePhonetic("ka~b"), "ka~*b");
}

TEST(EncodePhonetic, WithoutVowelsOrMarksUnchanged) {
  EXPECT_EQ(EncodePhonetic("str"), "str");
  EXPECT_EQ(EncodePhonetic("s~t'n~"), "s~t'n~");
  EXPECT_EQ(EncodePhonetic(""), "");
}

TEST(EncodePhonetic, StressMark) {
  // The first '/' wins over any '\'; without '/', the last '\' is the mark
  // and earlier ones become secondary stresses.
  EXPECT_EQ(EncodePhonetic("ba\\na/na"), "ba(na%na/");
  EXPECT_EQ(EncodePhonetic("ka/t"), "ka*t");
  // After a vowel with its diacritic.
  EXPECT_EQ(EncodePhonetic("zi~bru"), "zi~%bru/");
  // A syllabic consonant after the mark keeps the stress non-final.
  EXPECT_EQ(EncodePhonetic("ba/tn'"), "ba%tn'/");
  // ... but the apostrophe of t' (as in think) is no syllable.
  EXPECT_EQ(EncodePhonetic("ba/t'"), "ba*t'");
}

TEST(EncodePhonetic, SyllabicConsonants) {
  EXPECT_EQ(EncodePhonetic("kil/"), "kl'");   // the mark has no vowel before it and goes
  EXPECT_EQ(EncodePhonetic("il/"), "i#l");    // not at the first character
  EXPECT_EQ(EncodePhonetic("/aul"), "au/l");  // "au" is a vowel, not a + "ul"
  EXPECT_EQ(EncodePhonetic("/kin~"), "ki/n~");  // "in~" is a vowel and "ng"
  EXPECT_EQ(EncodePhonetic("boi/l"), "boi*l");
  EXPECT_EQ(EncodePhonetic("bo/tum"), "bo%tm'/");
}

TEST(EncodePhonetic, LaterAndEarlierSyllables) {
  // A non-letter after a vowel nucleus takes the syllable mark's place.
  EXPECT_EQ(EncodePhonetic("ba/na\\na"), "ba%na(na/");
  EXPECT_EQ(EncodePhonetic("ka/tnip"), "ka%tni/p");
  EXPECT_EQ(EncodePhonetic("a~me/rika"), "a~#me%ri+ka/");
  EXPECT_EQ(EncodePhonetic("e'le/ktrik"), "e'#le%ktri/k");
}

TEST(EncodePhonetic, AnyBytesPassThrough) {
  std::string odd("\x01\xff/\x80", 4);
  // The final-stress mark survives only after a vowel.
  EXPECT_EQ(EncodePhonetic(odd), std::string("\x01\xff\x80", 3));
  EXPECT_EQ(EncodePhonetic("//\\\\"), "/((");
}

TEST(PartsOfSpeech, CodesAndLookups) {
  EXPECT_STREQ(PartOfSpeechOfCode("02D").name, "Country");
  EXPECT_STREQ(CodeOfPartOfSpeech("State"), "02D");
  EXPECT_STREQ(PartOfSpeechOfCode("10").name, "Verb");
  EXPECT_STREQ(PartOfSpeechOfCode("99").name, "Adjective");
  EXPECT_STREQ(PartOfSpeechOfCode("").name, "Adjective");
  EXPECT_EQ(CodeOfPartOfSpeech("Nothing"), nullptr);
  EXPECT_EQ(SymbolRow(kConsonants[16]), "t'\tTHink, boTH");
  EXPECT_STREQ(kVowels[23].recording, "u5.wav");
  EXPECT_EQ(kAccentMarks[1].recording, nullptr);
}

}  // namespace
}  // namespace Quellmar::dictionary
