#include "sapi/tts_engine.h"

#include <wchar.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/render_settings.h"
#include "common/settings_registry.h"
#include "common/text_prep.h"
#include "common/voices.h"
#include "sapi/guids.h"
#include "sapi/module.h"
#include "sapi/out_ptr.h"
#include "sapi/sapi_ids.h"
#include "sapi/speak_rules.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {
namespace {

void RaiseEvent(ISpTTSEngineSite* site, SPEVENTENUM id, SPEVENTLPARAMTYPE type, uint64_t offset,
                WPARAM wparam, LPARAM lparam) {
  SPEVENT event{};
  event.eEventId = id;
  event.elParamType = type;
  event.ulStreamNum = 0;
  event.ullAudioStreamOffset = offset;
  event.wParam = wparam;
  event.lParam = lparam;
  site->AddEvents(&event, 1);
}

// The fragment's text. Hosts hand fragments that point into their own
// zero-terminated copy of the text, so reading stops at a zero as well: a
// length that runs past the text is never followed into foreign memory.
std::wstring FragmentText(const SPVTEXTFRAG& f) {
  if (!f.pTextStart || f.ulTextLen == 0) return std::wstring();
  return std::wstring(f.pTextStart, wcsnlen(f.pTextStart, f.ulTextLen));
}

void ReadRate(ISpTTSEngineSite* site, long& rate) {
  long asked = 0;
  if (SUCCEEDED(site->GetRate(&asked))) rate = asked;
}

void ReadVolume(ISpTTSEngineSite* site, USHORT& volume) {
  USHORT asked = 0;
  if (SUCCEEDED(site->GetVolume(&asked))) volume = asked;
}

bool WriteCallback(const unsigned char* bytes, uint32_t count, void* context) {
  return WriteToSite(bytes, count, *static_cast<SiteWriter*>(context));
}

// Asked while the worker has not answered yet: a worker that is slow or
// stuck must not keep an aborted call from returning. The site offers no
// event for the host's actions, so they are polled, and often: GetActions
// is cheap and in process, and a screen reader stops speech at every key.
bool KeepWaiting(void* context) { return HostStillListening(*static_cast<SiteWriter*>(context)); }
constexpr DWORD kHostActionPollMs = 1;

}  // namespace

bool HostStillListening(SiteWriter& writer) noexcept {
  if (writer.cancelled || !writer.site) return false;
  const DWORD actions = writer.site->GetActions();
  if (actions & SPVES_ABORT) {
    writer.cancelled = true;
    return false;
  }
  if (actions & SPVES_SKIP) {
    writer.site->CompleteSkip(0);
    writer.cancelled = true;
    return false;
  }
  return true;
}

bool WriteToSite(const void* data, uint64_t size, SiteWriter& writer) noexcept {
  if (!writer.site) return false;
  const auto* p = static_cast<const unsigned char*>(data);
  uint64_t left = size;
  while (left > 0) {
    if (!HostStillListening(writer)) return false;
    const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(left, kSiteWriteBytes));
    ULONG written = 0;
    const HRESULT hr = writer.site->Write(p, piece, &written);
    if (FAILED(hr)) {
      Log("SAPI Write failed: hr=0x%08X, %llu bytes left", static_cast<unsigned>(hr),
          static_cast<unsigned long long>(left));
      return false;
    }
    const uint32_t taken = BytesTaken(written, piece);
    writer.total += taken;
    p += taken;
    left -= taken;
  }
  return true;
}

void WriteSilence(uint32_t milliseconds, SiteWriter& writer) {
  if (milliseconds == 0) return;
  uint64_t samples = SilenceSamples(milliseconds);
  const std::vector<int16_t> zeros(std::min<uint64_t>(samples, kSilenceBufferSamples), 0);
  while (samples > 0 && !writer.cancelled) {
    const uint64_t now = std::min<uint64_t>(zeros.size(), samples);
    if (!WriteToSite(zeros.data(), now * sizeof(int16_t), writer)) return;
    samples -= now;
  }
}

const CLSID& ISpTTSEngineImpl::class_id() { return kEngineClsid; }

void* ISpTTSEngineImpl::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, kIID_ISpTTSEngine)) {
    return static_cast<ISpTTSEngine*>(this);
  }
  if (IsEqualGUID(iid, __uuidof(ISpObjectWithToken))) return static_cast<ISpObjectWithToken*>(this);
  return nullptr;
}

STDMETHODIMP ISpTTSEngineImpl::SetObjectToken(ISpObjectToken* token) noexcept {
  if (!token) return E_INVALIDARG;
  return com::Guarded([&]() -> HRESULT {
    com_ptr<ISpDataKey> attributes;
    if (FAILED(token->OpenKey(kAttributesKey, attributes.put())) || !attributes) {
      return E_INVALIDARG;
    }
    utils::out_ptr<wchar_t> key;
    const HRESULT hr = attributes->GetStringValue(kVoiceKeyAttribute, key.put());
    const int index = SUCCEEDED(hr) && key ? VoiceIndexFromKey(key.get()) : 0;
    voice_index_ = index;
    token_ = com_ptr<ISpObjectToken>(token);
    Log("SetObjectToken: %ls", VoiceTextsFor(index).display_name);
    return S_OK;
  });
}

STDMETHODIMP ISpTTSEngineImpl::GetObjectToken(ISpObjectToken** token) noexcept {
  if (!token) return E_POINTER;
  *token = nullptr;
  if (!token_) return E_UNEXPECTED;
  *token = com_ptr<ISpObjectToken>(token_).detach();
  return S_OK;
}

STDMETHODIMP ISpTTSEngineImpl::GetOutputFormat(const GUID*, const WAVEFORMATEX*, GUID* format_id,
                                               WAVEFORMATEX** format) noexcept {
  if (!format_id || !format) return E_POINTER;
  *format_id = kSPDFID_WaveFormatEx;
  *format = nullptr;
  auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
  if (!wf) return E_OUTOFMEMORY;
  wf->wFormatTag = WAVE_FORMAT_PCM;
  wf->nChannels = kChannels;
  wf->nSamplesPerSec = kSampleRate;
  wf->wBitsPerSample = kBitsPerSample;
  wf->nBlockAlign = kChannels * kBitsPerSample / 8;
  wf->nAvgBytesPerSec = kSampleRate * wf->nBlockAlign;
  wf->cbSize = 0;
  *format = wf;
  return S_OK;
}

STDMETHODIMP ISpTTSEngineImpl::Speak(DWORD, REFGUID, const WAVEFORMATEX*,
                                     const SPVTEXTFRAG* fragments,
                                     ISpTTSEngineSite* site) noexcept {
  if (!fragments || !site) return E_INVALIDARG;
  if (!ProcessWorkerClient()) return E_FAIL;
  try {
    return SpeakFragments(fragments, site);
  } catch (const std::bad_alloc&) {
    Log("Speak failed: out of memory");
    return E_OUTOFMEMORY;
  } catch (...) {
    Log("Speak failed: unexpected exception");
    return E_UNEXPECTED;
  }
}

HRESULT ISpTTSEngineImpl::SpeakFragments(const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site) {
  WorkerClient& worker = *ProcessWorkerClient();
  const GlobalSettings global = ReadGlobalSettings();
  const CustomVoiceSettings voice = VoiceSettingsFor(voice_index_);

  // A failed query leaves the value as it was, whatever the site wrote.
  long host_rate = 0;
  USHORT host_volume = 100;
  ULONGLONG interest = 0;
  ReadRate(site, host_rate);
  ReadVolume(site, host_volume);
  if (ULONGLONG asked = 0; SUCCEEDED(site->GetEventInterest(&asked))) interest = asked;
  const bool sentences = WantsSentences(interest);
  const bool words = WantsWords(interest);

  Log("=== Speak: voice=%ls, host rate=%d volume=%u ===", VoiceTextsFor(voice_index_).display_name,
      static_cast<int>(host_rate), static_cast<unsigned>(host_volume));

  SiteWriter writer;
  writer.site = site;

  for (const SPVTEXTFRAG* f = fragments; f; f = f->pNext) {
    const DWORD actions = site->GetActions();
    if (actions & SPVES_ABORT) return S_OK;
    if (actions & SPVES_SKIP) {
      // A skip ends the whole call; nothing is skipped within it.
      site->CompleteSkip(0);
      return S_OK;
    }
    if (actions & SPVES_RATE) ReadRate(site, host_rate);
    if (actions & SPVES_VOLUME) ReadVolume(site, host_volume);

    const SPVACTIONS action = f->State.eAction;
    if (action == SPVA_Bookmark) {
      const std::wstring mark = FragmentText(*f);
      RaiseEvent(site, SPEI_TTS_BOOKMARK,
                 mark.empty() ? SPET_LPARAM_IS_UNDEFINED : SPET_LPARAM_IS_STRING, writer.total,
                 static_cast<WPARAM>(static_cast<LONG_PTR>(BookmarkNumber(mark))),
                 reinterpret_cast<LPARAM>(mark.c_str()));
      continue;
    }
    if (action == SPVA_Silence) {
      WriteSilence(f->State.SilenceMSecs, writer);
      if (writer.cancelled) return S_OK;
      continue;
    }
    if (action != SPVA_Speak && action != SPVA_Pronounce && action != SPVA_SpellOut) continue;
    if (f->ulTextLen == 0 || !f->pTextStart) continue;

    const std::wstring text = FragmentText(*f);
    if (sentences) {
      RaiseEvent(site, SPEI_SENTENCE_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, writer.total, f->ulTextLen,
                 static_cast<LPARAM>(f->ulTextSrcOffset));
    }
    if (words) {
      for (const Word& w : FindWords(text)) {
        RaiseEvent(site, SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, writer.total, w.length,
                   static_cast<LPARAM>(f->ulTextSrcOffset + w.start));
      }
    }

    const FragmentProsody prosody = ProsodyFor(host_rate, host_volume, f->State.RateAdj,
                                               f->State.PitchAdj.MiddleAdj, f->State.Volume);
    const RenderSetup setup = ComputeRenderParams(voice, global, prosody.rate, prosody.pitch,
                                                  static_cast<uint16_t>(prosody.volume));
    const RenderParams& p = setup.params;

    std::wstring prepared = CollapseWhitespace(text);
    if (action == SPVA_SpellOut) {
      prepared = SpellOut(prepared);
    } else if (setup.speak_punctuation) {
      prepared = NamePunctuation(prepared);
    }
    if (prepared.empty()) continue;

    Log("  fragment: action=%d rate=%d pitch=%d volume=%u -> duration x%.3f pitch x%.3f gain x%.3f "
        "pauses %d/%d/%d/%d tags=%d",
        static_cast<int>(action), prosody.rate, prosody.pitch, prosody.volume, p.duration_factor,
        p.pitch_factor, p.gain_factor, p.pauses[0], p.pauses[1], p.pauses[2], p.pauses[3],
        p.tags ? 1 : 0);

    const uint64_t before = writer.total;
    bool worker_failed = false;
    for (const std::wstring& chunk : SplitIntoChunks(prepared, kChunkLimit)) {
      if (writer.cancelled) break;
      const std::string engine_text = ToEngineText(chunk);
      if (engine_text.empty()) continue;
      // A write the site refused cancels only this chunk's synthesis, which
      // still ends true: the later chunks and fragments are spoken.
      if (!worker.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                                   p.duration_factor, p.pitch_factor, p.gain_factor, p.tags,
                                   &p.pauses, WriteCallback, &writer, KeepWaiting,
                                   kHostActionPollMs)) {
        if (writer.cancelled) break;  // the host stopped listening first
        Log("  the worker did not answer; the utterance stops here");
        worker_failed = true;
        break;
      }
    }
    Log("  <- %llu bytes this fragment, %llu total%s",
        static_cast<unsigned long long>(writer.total - before),
        static_cast<unsigned long long>(writer.total), writer.cancelled ? " (host cancelled)" : "");
    // A worker that cannot be reached is not tried again for every later
    // fragment: each try may wait seconds for a launch.
    if (writer.cancelled || worker_failed) return S_OK;
  }
  return S_OK;
}

}  // namespace Quellmar::sapi
