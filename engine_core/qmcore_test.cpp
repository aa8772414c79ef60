// The built qmcore.dll as its callers see it: loaded by path, bound by the
// decorated names, driven through a whole synthesis, its pauses taken from
// quellmar.ini in the Windows directory when it loads.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "engine_host/engine_core_api.h"
#include "testing/test_env.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;
namespace api = engine_api;

std::wstring DllPath() { return testing::ProgramFolder() + L"\\qmcore.dll"; }

fs::path IniPath() {
  wchar_t dir[MAX_PATH];
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  std::wstring p(dir, n);
  if (p.empty() || p.back() != L'\\') p += L'\\';
  return fs::path(p + L"quellmar.ini");
}

std::vector<char> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One loaded copy of the library with its entry points bound by name.
struct Core {
  unique_module module;
  api::get_av_version_fn version = nullptr;
  api::initialize_SSB_fn init = nullptr;
  api::set_tag_flag_fn tags = nullptr;
  api::isSeg_Available_fn available = nullptr;
  api::synth_to_buffer_fn synth = nullptr;
  api::close_SSB_fn close = nullptr;
  api::get_snd_fmt_fn fmt = nullptr;
  api::get_snd_bps_fn bps = nullptr;
  api::get_snd_sps_fn sps = nullptr;
  api::get_channels_allowed_fn channels = nullptr;
  api::get_pausation_fn get_pause = nullptr;
  api::set_pausation_fn set_pause = nullptr;
  api::open_phon_fn open_phon = nullptr;
  api::synthesize_fn synthesize = nullptr;
  api::close_phon_fn close_phon = nullptr;
  api::PhonEnc_to_PhonSyl_fn phon_enc = nullptr;
  api::PhonSyl_to_Wav_fn phon_wav = nullptr;

  template <typename F>
  void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    EXPECT_NE(f, nullptr) << name;
  }

  bool Load() {
    module.reset(LoadLibraryW(DllPath().c_str()));
    if (!module) return false;
    Bind(version, api::kGetAvVersion);
    Bind(init, api::kInitializeSSB);
    Bind(tags, api::kSetTagFlag);
    Bind(available, api::kIsSegAvailable);
    Bind(synth, api::kSynthToBuffer);
    Bind(close, api::kCloseSSB);
    Bind(fmt, api::kGetSndFmt);
    Bind(bps, api::kGetSndBps);
    Bind(sps, api::kGetSndSps);
    Bind(channels, api::kGetChannelsAllowed);
    Bind(get_pause, api::kGetPausation);
    Bind(set_pause, api::kSetPausation);
    Bind(open_phon, api::kOpenPhon);
    Bind(synthesize, api::kSynthesize);
    Bind(close_phon, api::kClosePhon);
    Bind(phon_enc, api::kPhonEncToPhonSyl);
    Bind(phon_wav, api::kPhonSylToWav);
    return !::testing::Test::HasFailure();
  }

  // Runs one synthesis the way the engine driver does; the segment sizes.
  std::vector<uint32_t> Run(const char* text, bool tag_flag, std::vector<uint8_t>* all = nullptr) {
    std::vector<uint8_t> block(api::kSynthesisBlockBytes, 0);
    std::vector<uint8_t> buffer(api::kSegmentBufferBytes, 0);
    std::vector<uint32_t> sizes;
    EXPECT_EQ(init(block.data(), text, 0), 0);
    tags(block.data(), tag_flag ? 1 : 0);
    while (available(block.data())) {
      uint32_t count = 0;
      int32_t st = synth(block.data(), buffer.data(), &count);
      if (st == 1) break;
      EXPECT_EQ(st, 0);
      if (st != 0) break;
      EXPECT_LE(count, api::kSegmentBufferBytes);
      sizes.push_back(count);
      if (all) all->insert(all->end(), buffer.begin(), buffer.begin() + count);
    }
    EXPECT_EQ(close(block.data()), 0);
    return sizes;
  }
};

// Keeps whatever quellmar.ini the prefix had and puts it back afterwards.
class IniGuard {
 public:
  IniGuard() : path_(IniPath()) {
    if (fs::exists(path_)) saved_ = ReadAll(path_);
  }
  ~IniGuard() {
    std::error_code ec;
    if (saved_) {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(saved_->data(), static_cast<std::streamsize>(saved_->size()));
    } else {
      fs::remove(path_, ec);
    }
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::optional<std::vector<char>> saved_;
};

TEST(QmcoreDll, AnswersTheQueriesAndSpeaksSegmentBySegment) {
  Core core;
  ASSERT_TRUE(core.Load());
  char version[256] = {};
  EXPECT_EQ(core.version(version), 0);
  EXPECT_NE(std::string(version).find("Quellmar 3.x"), std::string::npos) << version;
  EXPECT_EQ(core.fmt(), 7);
  EXPECT_EQ(core.bps(), 8);
  EXPECT_EQ(core.sps(), 8000);
  EXPECT_EQ(core.channels(), 1);

  std::vector<uint8_t> all;
  auto sizes = core.Run("Hello there. This is the stand-in engine, speaking one sentence at a time.",
                        false, &all);
  ASSERT_EQ(sizes.size(), 2u);
  for (uint32_t n : sizes) EXPECT_GT(n, 4000u);
  EXPECT_EQ(all.back(), 0xFF);  // the sentence pause closes the utterance
}

TEST(QmcoreDll, ReportsStatusesForUnspeakableTextAndNullArguments) {
  Core core;
  ASSERT_TRUE(core.Load());
  std::vector<uint8_t> block(api::kSynthesisBlockBytes, 0);
  EXPECT_EQ(core.init(block.data(), "?!.", 0), 2870);
  EXPECT_EQ(core.init(block.data(), "", 0), 2870);
  EXPECT_EQ(core.init(nullptr, "hello", 0), 3000);
  EXPECT_EQ(core.init(block.data(), nullptr, 0), 2830);
  EXPECT_EQ(core.available(block.data()), 0);  // never initialised
  uint32_t count = 7;
  std::vector<uint8_t> buffer(16);
  EXPECT_EQ(core.synth(block.data(), buffer.data(), &count), 3000);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(core.init(block.data(), "hello", 0), 0);
  EXPECT_EQ(core.synth(block.data(), nullptr, &count), 2700);
  EXPECT_EQ(core.synth(block.data(), buffer.data(), nullptr), 2700);
  EXPECT_EQ(core.close(block.data()), 0);
  EXPECT_EQ(core.close(nullptr), 3000);
  EXPECT_EQ(core.version(nullptr), 2700);
  EXPECT_EQ(core.set_pause(0, 10), 2700);
  EXPECT_EQ(core.set_pause(5, 10), 2700);
  EXPECT_EQ(core.get_pause(5), 0);
}

TEST(QmcoreDll, TakesItsPausesFromQuellmarIniWhenItLoads) {
  IniGuard guard;
  std::wstring ini = guard.path().wstring();
  std::error_code ec;
  fs::remove(guard.path(), ec);
  ASSERT_EQ(GetModuleHandleW(L"qmcore.dll"), nullptr);
  {
    Core core;
    ASSERT_TRUE(core.Load());
    EXPECT_EQ(core.get_pause(1), 650);
    EXPECT_EQ(core.get_pause(2), 500);
    EXPECT_EQ(core.get_pause(3), 350);
    EXPECT_EQ(core.get_pause(4), 7);
  }
  ASSERT_TRUE(WritePrivateProfileStringW(L"QuellmarSettings", L"PAUSE1", L"1500", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"QuellmarSettings", L"PAUSE2", L"321", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"QuellmarSettings", L"PAUSE4", L"0", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"QuellmarAppDir", L"TEMPDIR", L"C:\\Temp", ini.c_str()));
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());  // flush the cache
  {
    Core core;
    ASSERT_TRUE(core.Load());
    EXPECT_EQ(core.get_pause(1), 1500);
    EXPECT_EQ(core.get_pause(2), 321);
    EXPECT_EQ(core.get_pause(3), 350);  // missing key: the default
    EXPECT_EQ(core.get_pause(4), 0);

    // The loaded pause is what the speech carries: a 1500 ms run of silence
    // after the first sentence.
    std::vector<uint8_t> all;
    core.Run("It was so low. Now we are here.", false, &all);
    size_t best = 0, run = 0;
    for (uint8_t b : all) {
      run = (b == 0xFF || b == 0x7F) ? run + 1 : 0;
      best = std::max(best, run);
    }
    EXPECT_NEAR(static_cast<double>(best) / 8.0, 1500.0, 10.0);

    // A change lasts for the rest of this load...
    EXPECT_EQ(core.set_pause(1, 900), 0);
    EXPECT_EQ(core.get_pause(1), 900);
  }
  ASSERT_EQ(GetModuleHandleW(L"qmcore.dll"), nullptr);
  {
    Core core;  // ...and a fresh load reads the file again.
    ASSERT_TRUE(core.Load());
    EXPECT_EQ(core.get_pause(1), 1500);
  }
}

TEST(QmcoreDll, WritesTheEditorsWaveFiles) {
  Core core;
  ASSERT_TRUE(core.Load());
  testing::TempDir dir("qmcore");
  std::string word_wav = (dir.path() / "word.wav").string();
  std::string phon_wav = (dir.path() / "phon.wav").string();

  std::vector<uint8_t> block(api::kPhonBlockBytes, 0);
  ASSERT_EQ(core.open_phon(block.data(), "banana", 0, api::kOpenPhonMagic), 0);
  ASSERT_EQ(core.synthesize(block.data(), word_wav.c_str()), 0);
  EXPECT_EQ(core.close_phon(block.data()), 0);
  EXPECT_EQ(core.open_phon(block.data(), "...", 0, api::kOpenPhonMagic), 2870);
  EXPECT_EQ(core.synthesize(block.data(), word_wav.c_str()), 3000);

  char syl[api::kPhonSylBytes];
  std::memset(syl, 0x55, sizeof syl);
  core.phon_enc("banana", 0, "ba#na%na/", api::kPhonEncMagic, 0, syl);
  EXPECT_NE(std::memchr(syl, 0, sizeof syl), nullptr);
  EXPECT_EQ(core.phon_wav(syl, phon_wav.c_str()), 0);

  for (const std::string& path : {word_wav, phon_wav}) {
    std::vector<char> f = ReadAll(path);
    ASSERT_GT(f.size(), 46u + 2000u) << path;
    auto u32 = [&](size_t at) {
      uint32_t v;
      std::memcpy(&v, f.data() + at, 4);
      return v;
    };
    EXPECT_EQ(std::string(f.data(), 4), "RIFF");
    EXPECT_EQ(u32(4), f.size() - 8);
    EXPECT_EQ(f[20], 7);  // mu-law
    EXPECT_EQ(u32(24), 8000u);
    EXPECT_EQ(std::string(f.data() + 38, 4), "data");
    EXPECT_EQ(u32(42), f.size() - 46);
  }
}

}  // namespace
}  // namespace Quellmar
