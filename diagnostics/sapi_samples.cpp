#include "diagnostics/sapi_samples.h"

#include <windows.h>

#include "common/voices.h"
#include "common/win_handles.h"

namespace Quellmar::diag {
namespace {

constexpr CLSID kSpObjectTokenCategoryClass = {
    0xa910187f, 0x0c7a, 0x45ac, {0x92, 0xcc, 0x59, 0xed, 0xaf, 0xb7, 0x7b, 0x53}};
constexpr CLSID kSpVoiceClass = {
    0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
constexpr CLSID kSpStreamClass = {
    0x715d9c59, 0x4442, 0x11d2, {0x96, 0x05, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
constexpr ULONGLONG kAllEvents = 0xEFFFFFFFFFFFFFFFull;
constexpr DWORD kWaitUntilDoneMs = 60000;
constexpr double kSapiBytesPerSecond = 32000.0;
constexpr double kLeastAudioSeconds = 0.05;

constexpr wchar_t kInstalledOrigin[] = L"installed";
constexpr wchar_t kPerUserOrigin[] = L"per-user";

struct HostFile {
  const wchar_t* file_name;
  const wchar_t* text;
  long rate;
  unsigned short volume;
};
constexpr HostFile kHostFiles[] = {
    {L"sapi_host_rate_minus10.wav",
     L"Host rate minus ten. The quick brown fox jumps over the lazy dog.", -10, 100},
    {L"sapi_host_rate_plus10.wav",
     L"Host rate plus ten. The quick brown fox jumps over the lazy dog.", 10, 100},
    {L"sapi_host_volume_25.wav",
     L"Host volume twenty five percent. The quick brown fox jumps over the lazy dog.", 0, 25},
    {L"sapi_host_volume_100.wav",
     L"Host volume one hundred percent. The quick brown fox jumps over the lazy dog.", 0, 100},
};

// Every token of the machine's voice category, in the category's order.
// False when the category could not be created.
bool EnumerateVoices(com_ptr<IEnumSpObjectTokens>& tokens, ULONG& count) {
  count = 0;
  com_ptr<ISpObjectTokenCategory> category;
  if (FAILED(CoCreateInstance(kSpObjectTokenCategoryClass, nullptr, CLSCTX_ALL,
                              __uuidof(ISpObjectTokenCategory), category.put_void()))) {
    return false;
  }
  if (SUCCEEDED(category->SetId(kVoicesCategoryId, FALSE)) &&
      SUCCEEDED(category->EnumTokens(nullptr, nullptr, tokens.put())) && tokens &&
      SUCCEEDED(tokens->GetCount(&count))) {
    return true;
  }
  tokens.reset();
  count = 0;
  return true;
}

// The token's display name (its default value); false when it has none.
bool DisplayName(ISpObjectToken* token, std::wstring& name) {
  wchar_t* text = nullptr;
  if (FAILED(token->GetStringValue(nullptr, &text))) return false;
  unique_cotaskmem owned(text);
  name = text ? text : L"";
  return true;
}

com_ptr<ISpObjectToken> PerUserToken(const std::wstring& key) {
  com_ptr<ISpObjectToken> token;
  if (FAILED(CoCreateInstance(kCLSID_SpObjectToken, nullptr, CLSCTX_ALL, kIID_ISpObjectToken,
                              token.put_void()))) {
    return {};
  }
  const std::wstring id = std::wstring(kUserTokensPrefix) + key;
  if (FAILED(token->SetId(nullptr, id.c_str(), FALSE))) return {};
  return token;
}

}  // namespace

void VoiceCache::Fill() {
  filled_ = true;
  com_ptr<IEnumSpObjectTokens> tokens;
  ULONG count = 0;
  if (!EnumerateVoices(tokens, count)) return;
  for (ULONG i = 0; i < count; ++i) {
    com_ptr<ISpObjectToken> token;
    if (FAILED(tokens->Item(i, token.put())) || !token) continue;
    std::wstring name;
    if (DisplayName(token.get(), name) && name.find(kOurMark) != std::wstring::npos) {
      entries_.emplace_back(std::move(name), std::move(token));
    }
  }
}

com_ptr<ISpObjectToken> VoiceCache::Find(const std::wstring& display_name) {
  if (!filled_) Fill();
  for (const auto& [name, token] : entries_) {
    if (name == display_name) return token;
  }
  return {};
}

void PrintVoiceList(Output& out) {
  out.Print(L"Quellmar voices in the machine's SAPI5 voice list\n");
  com_ptr<IEnumSpObjectTokens> tokens;
  ULONG count = 0;
  if (!EnumerateVoices(tokens, count)) {
    out.Print(L"  !! could not open the voice category\n");
    return;
  }
  int ours = 0, installed = 0;
  for (ULONG i = 0; i < count; ++i) {
    com_ptr<ISpObjectToken> token;
    if (FAILED(tokens->Item(i, token.put())) || !token) continue;
    std::wstring name;
    if (!DisplayName(token.get(), name)) continue;
    ++installed;
    if (name.find(kOurMark) != std::wstring::npos) {
      ++ours;
      out.Print(L"  * %ls\n", name.c_str());
    }
  }
  out.Print(L"  %d of the %d voices installed on this machine are Quellmar\n", ours, installed);
  if (ours == 0) {
    out.Print(
        L"  (nothing installed machine-wide yet, so the SAPI test below falls back to the "
        L"per-user tokens reg_test writes)\n");
  }
  out.Print(L"\n");
}

double SapiFileSeconds(uint64_t file_bytes) {
  return file_bytes <= 44 ? 0.0 : static_cast<double>(file_bytes - 44) / kSapiBytesPerSecond;
}

bool SapiFileHoldsAudio(double seconds) { return seconds > kLeastAudioSeconds; }

std::wstring SapiFileName(const std::wstring& display_name) {
  std::wstring name = L"sapi_" + display_name + L".wav";
  for (wchar_t& c : name) {
    if (c == L' ') c = L'_';
  }
  return name;
}

bool SpeakThroughSapi(Session& s, ISpObjectToken* token, const std::wstring& text,
                      const std::wstring& file_name, long host_rate, unsigned short host_volume) {
  com_ptr<ISpVoice> voice;
  if (FAILED(CoCreateInstance(kSpVoiceClass, nullptr, CLSCTX_ALL, __uuidof(ISpVoice),
                              voice.put_void()))) {
    s.out.Print(L"  !! could not create SpVoice\n");
    return false;
  }
  if (FAILED(voice->SetVoice(token))) {
    s.out.Print(L"  !! SetVoice failed\n");
    return false;
  }
  voice->SetRate(host_rate);
  voice->SetVolume(host_volume);

  com_ptr<ISpStream> stream;
  if (FAILED(CoCreateInstance(kSpStreamClass, nullptr, CLSCTX_ALL, __uuidof(ISpStream),
                              stream.put_void()))) {
    s.out.Print(L"  !! could not create SpStream\n");
    return false;
  }
  const std::wstring path = s.PathOf(file_name);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 16000;
  format.nAvgBytesPerSec = 32000;
  format.nBlockAlign = 2;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  if (FAILED(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kSPDFID_WaveFormatEx, &format,
                                kAllEvents))) {
    s.out.Print(L"  !! could not open %ls for writing\n", path.c_str());
    stream->Close();
    return false;
  }
  if (FAILED(voice->SetOutput(stream.get(), TRUE))) {
    s.out.Print(L"  !! SetOutput failed\n");
    stream->Close();
    return false;
  }
  if (FAILED(voice->Speak(text.c_str(), SPF_DEFAULT, nullptr))) {
    s.out.Print(L"  !! Speak failed\n");
    stream->Close();
    return false;
  }
  voice->WaitUntilDone(kWaitUntilDoneMs);
  // The file is complete only once the stream is closed and let go.
  stream->Close();
  stream.reset();
  voice.reset();

  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    // Nothing to show for the speech: a voice without a file did not speak.
    s.out.Print(L"  !! that file holds no audio\n");
    return false;
  }
  const uint64_t bytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  const double seconds = SapiFileSeconds(bytes);
  s.out.Print(L"  %-44ls %7.2f s\n", file_name.c_str(), seconds);
  if (!SapiFileHoldsAudio(seconds)) {
    s.out.Print(L"  !! that file holds no audio\n");
    return false;
  }
  return true;
}

int RunSapiSamples(Session& s, VoiceCache& cache) {
  s.out.Print(L"SAPI5 samples in %ls\n", s.output_folder.c_str());
  int spoken = 0, failed = 0;
  for (int index = 0; index < kVoiceCount; ++index) {
    const VoiceTexts voice = VoiceTextsFor(index);
    const std::wstring display_name = voice.display_name;
    const wchar_t* origin = kInstalledOrigin;
    com_ptr<ISpObjectToken> token = cache.Find(display_name);
    if (!token) {
      token = PerUserToken(voice.key);
      origin = kPerUserOrigin;
    }
    if (!token) {
      s.out.Print(L"  !! %ls is not registered anywhere\n", display_name.c_str());
      ++failed;
      continue;
    }
    const std::wstring text = L"This is " + display_name +
                              L", speaking through the SAPI 5 interface. The quick brown fox jumps "
                              L"over the lazy dog. In 1998 the price rose 7 percent to $42.50.";
    s.out.Print(L"  [%-9ls]", origin);
    ++spoken;
    if (!SpeakThroughSapi(s, token.get(), text, SapiFileName(display_name), 0, 100)) ++failed;

    if (index == 0) {
      for (const HostFile& host : kHostFiles) {
        s.out.Print(L"  [%-9ls]", origin);
        SpeakThroughSapi(s, token.get(), host.text, host.file_name, host.rate, host.volume);
      }
    }
  }
  s.out.Print(L"  %d Quellmar voices spoken through SAPI5, %d failed\n\n", spoken, failed);
  return spoken > 0 && failed == 0 ? 0 : 1;
}

}  // namespace Quellmar::diag
