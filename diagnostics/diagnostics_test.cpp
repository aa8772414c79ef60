// QuellmarDiag's own logic under Wine, with a scripted engine road in place
// of the worker or the engine core: what each command runs and where it
// writes, every line of the report, the sample plan, the WAV files and the
// latency and say steps.
#include <gtest/gtest.h>
#include <windows.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/win_handles.h"
#include "diagnostics/commands.h"
#include "diagnostics/engine_samples.h"
#include "diagnostics/report.h"
#include "diagnostics/sample_texts.h"
#include "diagnostics/sapi_samples.h"
#include "testing/test_env.h"

namespace Quellmar::diag {
namespace {
namespace fs = std::filesystem;

// Answers with the facts it was given and renders a fixed number of samples
// per request, recording every request.
class ScriptedRoad : public EngineRoad {
 public:
  explicit ScriptedRoad(const BuildTraits& traits) : traits_(traits) {}
  const BuildTraits& Traits() const override { return traits_; }
  EngineFacts Facts() override {
    ++fact_requests;
    return facts;
  }
  bool Render(const std::string& text, const RenderParams& params,
              std::vector<int16_t>& samples) override {
    texts.push_back(text);
    params_seen.push_back(params);
    if (!succeed) return false;
    samples.insert(samples.end(), samples_per_render, 1000);
    return true;
  }

  EngineFacts facts;
  bool succeed = true;
  size_t samples_per_render = 16000;
  int fact_requests = 0;
  std::vector<std::string> texts;
  std::vector<RenderParams> params_seen;

 private:
  const BuildTraits& traits_;
};

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstringstream in(text);
  for (std::wstring line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

uint32_t U32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t U16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

// Text goes out in the user's code page; what it cannot show becomes "?"
// and the rest of the line still arrives.
TEST(DiagnosticsOutput, CharactersOutsideTheCodePageDoNotCutTheLine) {
  Quellmar::testing::TempDir dir("diag");
  const fs::path file = dir.path() / L"out.txt";
  const std::string saved = setlocale(LC_ALL, nullptr);
  ASSERT_NE(setlocale(LC_ALL, ""), nullptr);
  {
    FILE* f = _wfopen(file.c_str(), L"w");
    ASSERT_NE(f, nullptr);
    Output out(f);
    out.Print(L"  %-10ls|%d\n", L"caf\u00e9 \u0416", 7);
    out.Print(L"next\n");
    fclose(f);
  }
  setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(ReadBytes(file), "  caf\xe9 ?    |7\r\nnext\r\n");
}

TEST(DiagnosticsCommands, EachCommandRunsItsSteps) {
  struct Row {
    const wchar_t* command;
    bool report, voices, engine, sapi, latency, say, verdict, exit_from_sapi, folder;
  };
  const Row rows[] = {
      {L"report", true, true, false, false, true, false, false, false, true},
      {L"REPORT", true, true, false, false, true, false, false, false, true},
      {L"reports", true, true, false, false, true, false, false, false, true},
      {L"", true, true, false, false, true, false, false, false, true},
      {L"samples", true, false, true, false, true, false, false, false, true},
      {L"sapi", false, true, false, true, false, false, false, true, true},
      {L"all", true, true, true, true, true, false, false, true, true},
      {L"selftest", true, true, false, true, true, false, true, true, false},
      {L"Selftest", true, true, false, false, true, false, false, false, true},
      {L"say", false, false, false, false, false, true, false, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(r.command)));
    const CommandPlan p = PlanFor(r.command);
    EXPECT_EQ(p.report, r.report);
    EXPECT_EQ(p.voice_list, r.voices);
    EXPECT_EQ(p.engine_samples, r.engine);
    EXPECT_EQ(p.sapi_samples, r.sapi);
    EXPECT_EQ(p.latency, r.latency);
    EXPECT_EQ(p.say, r.say);
    EXPECT_EQ(p.verdict, r.verdict);
    EXPECT_EQ(p.exit_from_sapi, r.exit_from_sapi);
    EXPECT_EQ(p.argument_is_folder, r.folder);
  }
}

TEST(DiagnosticsCommands, OutputPlaces) {
  const std::wstring temp = L"C:\\users\\u\\Temp\\";
  const std::wstring lad = L"C:\\users\\u\\AppData\\Local";

  // No folder, and an empty one (an unset variable in a script), which as a
  // prefix would be the root of the current drive: the default folder.
  for (const auto& argument : {std::optional<std::wstring>(), std::optional<std::wstring>(L"")}) {
    for (const wchar_t* command : {L"report", L"samples", L"sapi", L"all"}) {
      OutputPlace p = PlaceFor(command, argument, lad, temp);
      EXPECT_EQ(p.output_folder, L".") << command;
      EXPECT_TRUE(p.folders_to_create.empty()) << command;
      EXPECT_TRUE(p.report_file.empty()) << command;
    }
  }
  OutputPlace p;

  // Upper case is no command name, but like any unknown command it takes a folder.
  p = PlaceFor(L"REPORT", std::wstring(L"D:\\out"), lad, temp);
  EXPECT_EQ(p.output_folder, L"D:\\out");
  EXPECT_EQ(p.folders_to_create, std::vector<std::wstring>{L"D:\\out"});

  p = PlaceFor(L"selftest", std::wstring(L"D:\\ignored"), lad, temp);
  EXPECT_EQ(p.output_folder, lad + L"\\Quellmar SAPI5\\install-check");
  EXPECT_EQ(p.folders_to_create,
            (std::vector<std::wstring>{lad + L"\\Quellmar SAPI5",
                                       lad + L"\\Quellmar SAPI5\\install-check"}));
  EXPECT_EQ(p.report_file, lad + L"\\Quellmar SAPI5\\install-check.txt");

  // Without LOCALAPPDATA the temporary folder, whose backslash doubles up.
  p = PlaceFor(L"selftest", std::nullopt, std::nullopt, temp);
  EXPECT_EQ(p.report_file, L"C:\\users\\u\\Temp\\\\Quellmar SAPI5\\install-check.txt");
  EXPECT_EQ(p.output_folder, L"C:\\users\\u\\Temp\\\\Quellmar SAPI5\\install-check");

  p = PlaceFor(L"say", std::wstring(L"Hello there"), lad, temp);
  EXPECT_EQ(p.output_folder, L"C:\\users\\u\\Temp");
  EXPECT_TRUE(p.folders_to_create.empty());
}

constexpr wchar_t kReportTail[] =
    L"\n"
    L"Parameter ranges the engine's own tag parser enforces\n"
    L"  speed   \\spd=   85 .. 350   (default 175 words per minute)\n"
    L"  pitch   \\pit=   45 .. 91    (default 63)\n"
    L"  volume  \\vol=   0 .. 65535 (default 32767)\n"
    L"  rel. speed \\rspd= 50 .. 200   rel. pitch \\Rpit= 70 .. 145\n"
    L"\n"
    L"Voices published to SAPI5\n"
    L"  Quellmar Oskel               The engine's own voice, exactly as Quellmar shipped it.\n"
    L"  Quellmar Oskel Deep          Oskel a fourth lower and a little slower.\n"
    L"  Quellmar Oskel Bright        Oskel a fourth higher, at his usual pace.\n"
    L"  Quellmar Oskel Brisk         Oskel at 260 words a minute, for reading rather than "
    L"listening.\n"
    L"  Quellmar Oskel Measured      Oskel at 120 words a minute with longer pauses.\n"
    L"  Quellmar Oskel Announcer     Oskel slightly lower and louder, with broadcast pacing.\n"
    L"  Quellmar Oskel Clipped       Oskel fast and with the pauses taken out, for skimming.\n"
    L"  Quellmar Custom Voice        Every parameter comes from the Quellmar configuration "
    L"utility.\n"
    L"\n";

Installation SomeInstallation() {
  Installation where;
  where.install_root = L"C:\\Program Files\\Quellmar\\";
  where.settings_path = L"C:\\windows\\quellmar.ini";
  where.settings.sound_bank_dir = L"C:\\Program Files\\Quellmar\\engine\\Snd\\";
  where.settings.dictionary_files_dir = L"C:\\Program Files\\Quellmar\\engine\\Dict\\";
  where.settings.temp_dir = L"C:\\Temp\\";
  where.settings.user_dictionary_dir = L"C:\\Program Files\\Quellmar\\engine\\Lexmere\\";
  where.settings.custom_entries = true;
  return where;
}

constexpr wchar_t kReportHead[] =
    L"Quellmar engine\n"
    L"  install root      C:\\Program Files\\Quellmar\\\n"
    L"  qmcore.dll        C:\\Program Files\\Quellmar\\engine\\Lib\\qmcore.dll\n"
    L"  configuration     C:\\windows\\quellmar.ini\n"
    L"  sound bank        C:\\Program Files\\Quellmar\\engine\\Snd\\\n"
    L"  dictionary        C:\\Program Files\\Quellmar\\engine\\Dict\\\n"
    L"  temp              C:\\Temp\\\n"
    L"  user dictionary   C:\\Program Files\\Quellmar\\engine\\Lexmere\\  (custom entries on)\n";

TEST(DiagnosticsReport, WorkerBuildWithTheEngineAnswering) {
  ScriptedRoad road(kWorkerBuild);
  road.facts = {true, "Quellmar 3.x stand-in engine co", 8000, 8, 7, 1, 16000, {1, 2, 3, 4}};
  Output out;
  PrintReport(out, SomeInstallation(), road);
  EXPECT_EQ(road.fact_requests, 1);
  EXPECT_EQ(out.captured(), std::wstring(kReportHead) +
                                L"  this tool is      64-bit, so it reaches the 32-bit engine "
                                L"through QuellmarServer.exe\n"
                                L"  qmcore version    Quellmar 3.x stand-in engine co\n"
                                L"  engine output     8000 Hz 8-bit format 7 (mu-law)\n"
                                L"  output to SAPI    16000 Hz 16-bit mono\n"
                                L"  channels allowed  1\n" +
                                kReportTail);
}

TEST(DiagnosticsReport, InProcessBuildShowsThePausesAndAnUnknownFormat) {
  ScriptedRoad road(kInProcessBuild);
  road.facts = {true, "v2", 11025, 16, 1, 2, 16000, {650, 500, 350, 7}};
  Installation where = SomeInstallation();
  where.settings.custom_entries = false;
  Output out;
  PrintReport(out, where, road);
  const std::vector<std::wstring> lines = Lines(out.captured());
  ASSERT_GE(lines.size(), 14u);
  EXPECT_EQ(
      lines[7],
      L"  user dictionary   C:\\Program Files\\Quellmar\\engine\\Lexmere\\  (custom entries off)");
  EXPECT_EQ(lines[8], L"  this tool is      32-bit, so it loads qmcore.dll in process");
  EXPECT_EQ(lines[9], L"  qmcore version    v2");
  EXPECT_EQ(lines[10], L"  engine output     11025 Hz 16-bit format 1 (?)");
  EXPECT_EQ(lines[11], L"  output to SAPI    16000 Hz 16-bit mono");
  EXPECT_EQ(lines[12], L"  channels allowed  2");
  EXPECT_EQ(lines[13], L"  pause lengths     650 / 500 / 350 / 7 ms");
  EXPECT_EQ(lines[14], L"");
}

TEST(DiagnosticsReport, EngineNotAnsweringAndNoSettingsFile) {
  for (const BuildTraits* traits : {&kWorkerBuild, &kInProcessBuild}) {
    ScriptedRoad road(*traits);
    Installation where;
    where.install_root = L"C:\\Q\\";
    where.settings_path = L"C:\\windows\\quellmar.ini";
    Output out;
    PrintReport(out, where, road);
    const std::wstring expected_head =
        L"Quellmar engine\n"
        L"  install root      C:\\Q\\\n"
        L"  qmcore.dll        C:\\Q\\engine\\Lib\\qmcore.dll\n"
        L"  configuration     C:\\windows\\quellmar.ini\n"
        L"  sound bank        \n"
        L"  dictionary        \n"
        L"  temp              \n"
        L"  user dictionary     (custom entries off)\n";
    const std::wstring tool_line =
        traits->bits == 64 ? L"  this tool is      64-bit, so it reaches the 32-bit engine through "
                             L"QuellmarServer.exe\n"
                             L"  !! the engine did not answer -- QuellmarServer.exe could not be "
                             L"started or reached\n"
                           : L"  this tool is      32-bit, so it loads qmcore.dll in process\n"
                             L"  !! the engine did not answer -- qmcore.dll could not be loaded\n";
    EXPECT_EQ(out.captured(), expected_head + tool_line + kReportTail);
  }
}

TEST(DiagnosticsSamplePlan, ThirtyEightFilesWithTheirTextsAndParameters) {
  const std::vector<EngineSample> plan = EngineSamplePlan();
  ASSERT_EQ(plan.size(), 38u);
  const wchar_t* names[] = {L"engine_01_default.wav",           L"engine_02_speed_085_wpm.wav",
                            L"engine_02_speed_120_wpm.wav",     L"engine_02_speed_175_wpm.wav",
                            L"engine_02_speed_260_wpm.wav",     L"engine_02_speed_350_wpm.wav",
                            L"engine_03_pitch_45.wav",          L"engine_03_pitch_54.wav",
                            L"engine_03_pitch_63.wav",          L"engine_03_pitch_77.wav",
                            L"engine_03_pitch_91.wav",          L"engine_04_volume_06553.wav",
                            L"engine_04_volume_16384.wav",      L"engine_04_volume_32767.wav",
                            L"engine_04_volume_49151.wav",      L"engine_04_volume_65535.wav",
                            L"engine_05_pauses_default.wav",    L"engine_05_pauses_none.wav",
                            L"engine_05_pauses_long.wav",       L"engine_06_voice_1_oskel.wav",
                            L"engine_06_voice_2_deep.wav",      L"engine_06_voice_3_bright.wav",
                            L"engine_06_voice_4_brisk.wav",     L"engine_06_voice_5_measured.wav",
                            L"engine_06_voice_6_announcer.wav", L"engine_06_voice_7_clipped.wav",
                            L"engine_07_numbers.wav",           L"engine_08_abbreviations.wav",
                            L"engine_09_punctuation.wav",       L"engine_10_symbols.wav",
                            L"engine_11_accents.wav",           L"engine_12_long_paragraph.wav",
                            L"engine_13_spelled.wav",           L"engine_14_punctuation_named.wav",
                            L"engine_15_tags_bookmark.wav",     L"engine_16_tags_literal.wav",
                            L"engine_17_fast_and_low.wav",      L"engine_18_slow_and_high.wav"};
  for (size_t i = 0; i < plan.size(); ++i) EXPECT_EQ(plan[i].file_name, names[i]) << i;

  // Speed: 85 is twice as long, 350 half; pitch in semitones with a sign.
  const double durations[] = {2.0, 2 - 35.0 / 90, 1.0, 265.0 / 350, 0.5};
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(plan[1 + i].params.duration_factor, durations[i]);
  const double semitones[] = {-6, -3, 0, 3, 6};
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(plan[6 + i].params.pitch_factor, std::pow(2.0, semitones[i] / 12), 1e-12);
  EXPECT_EQ(plan[8].text.substr(0, 45), L"Pitch 63 on the Quellmar scale, +0.0 semitone");
  EXPECT_EQ(plan[6].text.substr(0, 40), L"Pitch 45 on the Quellmar scale, -6.0 sem");
  EXPECT_EQ(plan[1].text.substr(0, 40), L"This is 85 words a minute on the Quellma");
  EXPECT_GT(plan[15].params.gain_factor, 2.0);
  EXPECT_DOUBLE_EQ(plan[15].params.gain_factor, 65535.0 / 32767);
  EXPECT_DOUBLE_EQ(plan[11].params.gain_factor, 6553.0 / 32767);

  EXPECT_EQ(plan[16].params.pauses, (std::array<int32_t, 4>{650, 500, 350, 7}));
  EXPECT_EQ(plan[17].params.pauses, (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(plan[18].params.pauses, (std::array<int32_t, 4>{1500, 1200, 900, 30}));
  // Pause scale 140 (measured) and 25 (clipped).
  EXPECT_EQ(plan[23].params.pauses, (std::array<int32_t, 4>{910, 700, 490, 9}));
  EXPECT_EQ(plan[25].params.pauses, (std::array<int32_t, 4>{162, 125, 87, 1}));
  EXPECT_EQ(plan[19].text,
            L"This is Quellmar Oskel. The engine's own voice, exactly as Quellmar shipped it. The "
            L"quick brown "
            L"fox jumps over the lazy dog.");

  EXPECT_EQ(plan[27].text.size(), 79u);
  EXPECT_EQ(plan[29].text.size(), 70u);
  EXPECT_TRUE(plan[29].text.ends_with(L"for 50% off."));
  EXPECT_EQ(plan[31].text.size(), 402u);
  EXPECT_EQ(std::wstring(kLatencyLongText).size(), 209u);
  EXPECT_TRUE(plan[31].text.starts_with(std::wstring(kLatencyLongText).substr(0, 131)));
  EXPECT_EQ(plan[32].text, L"Q U E L L M A R 2 0 0 1");
  EXPECT_TRUE(plan[34].params.tags);
  for (size_t i = 0; i < plan.size(); ++i) {
    if (i != 34) {
      EXPECT_FALSE(plan[i].params.tags) << i;
    }
  }
  EXPECT_DOUBLE_EQ(plan[36].params.duration_factor, 0.25);
  EXPECT_DOUBLE_EQ(plan[36].params.pitch_factor, std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(plan[37].params.duration_factor, 4.0);
  EXPECT_DOUBLE_EQ(plan[37].params.pitch_factor, std::sqrt(2.0));
}

TEST(DiagnosticsEngineSamples, WritesEveryFileWithItsHeaderAndLine) {
  Quellmar::testing::TempDir dir("diag");
  ScriptedRoad road(kWorkerBuild);
  road.samples_per_render = 24000;
  Output out;
  Session s{out, road, dir.path().wstring()};
  RunEngineSamples(s);

  const std::vector<std::wstring> lines = Lines(out.captured());
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines[0], L"Engine samples in " + dir.path().wstring());
  EXPECT_EQ(lines[1], L"  engine_01_default.wav                     1.50 s");
  EXPECT_EQ(lines[39], L"");
  const std::vector<EngineSample> plan = EngineSamplePlan();
  ASSERT_EQ(road.texts.size(), 38u);
  for (size_t i = 0; i < plan.size(); ++i) {
    const std::string bytes = ReadBytes(dir.path() / plan[i].file_name);
    ASSERT_EQ(bytes.size(), 44u + 48000) << i;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(bytes, 4), 36u + 48000);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32(bytes, 16), 16u);
    EXPECT_EQ(U16(bytes, 20), 1u);
    EXPECT_EQ(U16(bytes, 22), 1u);
    EXPECT_EQ(U32(bytes, 24), 16000u);
    EXPECT_EQ(U32(bytes, 28), 32000u);
    EXPECT_EQ(U16(bytes, 32), 2u);
    EXPECT_EQ(U16(bytes, 34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(U32(bytes, 40), 48000u);
    EXPECT_EQ(U16(bytes, 44), 1000u);
  }
  // The accented sample reaches the engine in code page 1252, the em dash
  // and curved quotation marks folded to plain ones.
  EXPECT_EQ(road.texts[30].substr(0, 16), "A caf\xe9 in Z\xfcrich");
  EXPECT_EQ(road.texts[30].find('\x97'), std::string::npos);
}

TEST(DiagnosticsEngineSamples, FailuresPrintTheirLinesAndGoOn) {
  ScriptedRoad road(kWorkerBuild);
  road.succeed = false;
  Quellmar::testing::TempDir dir("diag");
  Output out;
  Session s{out, road, dir.path().wstring()};
  RunEngineSamples(s);
  const std::vector<std::wstring> lines = Lines(out.captured());
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines[1], L"  !! engine_01_default.wav produced no audio");
  EXPECT_EQ(lines[38], L"  !! engine_18_slow_and_high.wav produced no audio");
  EXPECT_TRUE(fs::is_empty(dir.path()));

  // A render that succeeds with nothing is no audio either.
  road.succeed = true;
  road.samples_per_render = 0;
  Output out2;
  Session s2{out2, road, dir.path().wstring()};
  RenderSample(s2, L"x.wav", L"text", DefaultRenderParams());
  EXPECT_EQ(out2.captured(), L"  !! x.wav produced no audio\n");
}

TEST(DiagnosticsEngineSamples, FolderThatCannotBeWritten) {
  ScriptedRoad road(kWorkerBuild);
  Quellmar::testing::TempDir dir("diag");
  const std::wstring missing = (dir.path() / L"no" / L"such").wstring();
  // A folder name of 260 characters cannot hold a file at all.
  const std::wstring long_folder =
      dir.path().wstring() + L"\\" + std::wstring(260 - dir.path().wstring().size() - 1, L'a');
  ASSERT_EQ(long_folder.size(), 260u);
  for (const std::wstring& folder : {missing, long_folder}) {
    Output out;
    Session s{out, road, folder};
    EXPECT_FALSE(WriteWav(s, L"engine_01_default.wav", std::vector<int16_t>(10), 16000));
    EXPECT_EQ(out.captured(), L"  !! could not write " + folder + L"\\engine_01_default.wav\n");
  }
}

// A sample whose file cannot be replaced (another program has it open, or
// it is read-only) leaves the previous sample as it was, and nothing else.
TEST(DiagnosticsEngineSamples, APreviousSampleIsLeftAloneWhenItCannotBeReplaced) {
  ScriptedRoad road(kWorkerBuild);
  Quellmar::testing::TempDir dir("diag");
  const fs::path path = dir.path() / L"engine_01_default.wav";
  const std::string previous = "the previous sample";
  for (const wchar_t* how : {L"held", L"read-only"}) {
    SCOPED_TRACE(how);
    std::ofstream(path, std::ios::binary) << previous;
    unique_file held;
    if (std::wstring(how) == L"held") {
      held.reset(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    Output out;
    Session s{out, road, dir.path().wstring()};
    EXPECT_FALSE(WriteWav(s, L"engine_01_default.wav", std::vector<int16_t>(10), 16000));
    held.reset();
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
}

TEST(DiagnosticsSapi, FileLengthsAndNames) {
  EXPECT_EQ(SapiFileSeconds(0), 0.0);
  EXPECT_EQ(SapiFileSeconds(44), 0.0);
  EXPECT_FALSE(SapiFileHoldsAudio(SapiFileSeconds(44)));
  EXPECT_DOUBLE_EQ(SapiFileSeconds(1644), 0.05);
  EXPECT_FALSE(SapiFileHoldsAudio(SapiFileSeconds(1644)));
  EXPECT_TRUE(SapiFileHoldsAudio(SapiFileSeconds(1646)));
  // Beyond 4 GiB the size is not wrapped into a short file.
  EXPECT_GT(SapiFileSeconds((uint64_t{1} << 32) + 100), 100000.0);
  EXPECT_EQ(SapiFileName(L"Quellmar Custom Voice"), L"sapi_Quellmar_Custom_Voice.wav");
  EXPECT_EQ(SapiFileName(L"Quellmar Oskel"), L"sapi_Quellmar_Oskel.wav");
  EXPECT_EQ(Format(L"  %-44ls %7.2f s", L"sapi_Quellmar_Oskel.wav", SapiFileSeconds(1644)),
            L"  sapi_Quellmar_Oskel.wav                         0.05 s");
}

TEST(DiagnosticsLatency, WarmsUpThenTimesFiveRenders) {
  ScriptedRoad road(kWorkerBuild);
  road.samples_per_render = 8000;
  Output out;
  Session s{out, road, L"."};
  MeasureLatency(s);
  ASSERT_EQ(road.texts.size(), 6u);
  EXPECT_EQ(road.texts[0], "Menu bar, File, submenu.");
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(road.texts[i], road.texts[0]);
  EXPECT_EQ(road.texts[4].size(), 209u);
  EXPECT_EQ(road.texts[5], road.texts[4]);
  EXPECT_DOUBLE_EQ(road.params_seen[5].duration_factor, 0.6428571428571429);
  EXPECT_DOUBLE_EQ(road.params_seen[5].pitch_factor, std::pow(2.0, 51.0 / 14 / 12));
  EXPECT_DOUBLE_EQ(road.params_seen[5].gain_factor, 1.3);
  EXPECT_EQ(road.params_seen[5].pauses, (std::array<int32_t, 4>{650, 500, 350, 7}));
  EXPECT_FALSE(road.params_seen[5].tags);

  const std::vector<std::wstring> lines = Lines(out.captured());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], L"Latency (a screen reader's keystroke is the short one)");
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(lines[i].starts_with(L"  short utterance  ")) << i;
    EXPECT_TRUE(lines[i].ends_with(L" ms  for   0.50 s of audio")) << i;
  }
  EXPECT_TRUE(lines[4].starts_with(L"  long  utterance  "));
  EXPECT_TRUE(lines[5].starts_with(L"  long, with rate, pitch and volume applied  "));
  EXPECT_TRUE(lines[5].ends_with(L" ms"));
  EXPECT_EQ(lines[6], L"");

  // A road that fails still gives every line, with no audio.
  ScriptedRoad dead(kInProcessBuild);
  dead.succeed = false;
  Output out2;
  Session s2{out2, dead, L"."};
  MeasureLatency(s2);
  EXPECT_TRUE(Lines(out2.captured())[1].ends_with(L"for   0.00 s of audio"));
}

TEST(DiagnosticsSay, SpeaksOnlyItsTextAndLeavesNoFile) {
  Quellmar::testing::TempDir dir("diag");
  ScriptedRoad road(kWorkerBuild);
  road.samples_per_render = 160;
  Output out;
  Session s{out, road, dir.path().wstring()};
  // Long text, and characters outside code page 1252.
  const std::wstring text = std::wstring(100000, L'a') + L" \u0416\u4e2d";
  Say(s, text);
  ASSERT_EQ(road.texts.size(), 1u);
  EXPECT_EQ(road.texts[0].size(), text.size());
  EXPECT_EQ(road.texts[0].substr(100000), "   ");
  EXPECT_EQ(out.captured(), L"  quellmar_say.wav                          0.01 s\n");
  EXPECT_TRUE(fs::is_empty(dir.path()));

  road.samples_per_render = 0;
  Output out2;
  Session s2{out2, road, dir.path().wstring()};
  Say(s2, kSayDefaultText);
  EXPECT_EQ(road.texts.back(), "Quellmar is working.");
  EXPECT_EQ(out2.captured(), L"nothing to play\n");
}

}  // namespace
}  // namespace Quellmar::diag
