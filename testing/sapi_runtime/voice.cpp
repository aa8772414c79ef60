#include "testing/sapi_runtime/voice.h"

#include <cstring>

#include "testing/sapi_runtime/object_token.h"
#include "testing/sapi_runtime/token_category.h"

namespace Quellmar::sapirt {
namespace {

constexpr wchar_t kVoicesCategory[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";

// The platform's event-interest bit of an event, with its two flag-check bits.
constexpr ULONGLONG EventBit(int event) { return (1ull << event) | (1ull << 30) | (1ull << 33); }

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

SPVACTIONS ToAction(MarkupAction a) {
  switch (a) {
    case MarkupAction::Speak: return SPVA_Speak;
    case MarkupAction::Silence: return SPVA_Silence;
    case MarkupAction::Pronounce: return SPVA_Pronounce;
    case MarkupAction::Bookmark: return SPVA_Bookmark;
    case MarkupAction::SpellOut: return SPVA_SpellOut;
    case MarkupAction::Section: return SPVA_Section;
    case MarkupAction::ParseUnknownTag: return SPVA_ParseUnknownTag;
  }
  return SPVA_Speak;
}

bool LooksLikeMarkup(const wchar_t* text) {
  while (*text == L' ' || *text == L'\t' || *text == L'\r' || *text == L'\n') ++text;
  return *text == L'<';
}

// A copy the event queue owns: string parameters are duplicated.
bool CopyEvent(const SPEVENT& in, SPEVENT& out) {
  out = in;
  if (in.elParamType == SPET_LPARAM_IS_STRING && in.lParam) {
    const auto* text = reinterpret_cast<const wchar_t*>(in.lParam);
    wchar_t* copy = nullptr;
    if (FAILED(CoTaskCopy(text, &copy))) return false;
    out.lParam = reinterpret_cast<LPARAM>(copy);
  } else if (in.elParamType == SPET_LPARAM_IS_STRING || in.elParamType == SPET_LPARAM_IS_POINTER ||
             in.elParamType == SPET_LPARAM_IS_TOKEN || in.elParamType == SPET_LPARAM_IS_OBJECT) {
    out.lParam = 0;  // nothing this runtime could own safely
    if (in.elParamType != SPET_LPARAM_IS_STRING) out.elParamType = SPET_LPARAM_IS_UNDEFINED;
  }
  return true;
}

void FreeEvent(SPEVENT& e) {
  if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam) CoTaskMemFree(reinterpret_cast<void*>(e.lParam));
  e.lParam = 0;
}

}  // namespace

WAVEFORMATEX Pcm16kMono() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 16000;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 2;
  f.nAvgBytesPerSec = 32000;
  return f;
}

// The site of one Speak call. The voice outlives it (the call holds it).
class OutputSite : public ISpTTSEngineSite {
 public:
  OutputSite(Voice& voice, ISpStreamFormat* output, ULONG stream_number)
      : voice_(voice), output_(output), stream_number_(stream_number) {}
  virtual ~OutputSite() = default;
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == kIID_ISpEventSink || iid == kIID_ISpTTSEngineSite)
               ? static_cast<ISpTTSEngineSite*>(this)
               : nullptr;
  }

  HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
    if (!events && count) return E_POINTER;
    for (ULONG i = 0; i < count; ++i) {
      ++record_.events;
      SPEVENT e = events[i];
      e.ulStreamNum = stream_number_;
      voice_.Queue(e);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override {
    if (!interest) return E_POINTER;
    std::lock_guard guard(voice_.lock_);
    *interest = voice_.interest_;
    return S_OK;
  }
  DWORD STDMETHODCALLTYPE GetActions() override {
    Voice::Schedule s;
    {
      std::lock_guard guard(voice_.lock_);
      s = voice_.schedule_;
    }
    bool fired_now = false;
    if (s.armed && !fired_ && record_.bytes >= s.after_bytes) {
      fired_ = fired_now = true;
      switch (s.action) {
        case QM_ACTION_ABORT: voice_.actions_ |= SPVES_ABORT; break;
        case QM_ACTION_SKIP: voice_.actions_ |= SPVES_SKIP; break;
        case QM_ACTION_RATE:
          voice_.rate_ = s.value;
          voice_.actions_ |= SPVES_RATE;
          break;
        case QM_ACTION_VOLUME:
          voice_.volume_ = static_cast<USHORT>(s.value);
          voice_.actions_ |= SPVES_VOLUME;
          break;
      }
    }
    const DWORD actions = voice_.actions_.load();
    if ((fired_now || (actions & (SPVES_ABORT | SPVES_SKIP))) && !record_.qpc_action) {
      record_.qpc_action = Now();
      record_.action_raised = TRUE;
      action_at_bytes_ = record_.bytes;
    }
    return actions;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
    if (written) *written = 0;
    if (!data && size) return E_POINTER;
    if (!record_.qpc_first_write) record_.qpc_first_write = Now();
    ++record_.writes;
    if (size > record_.largest_write) record_.largest_write = size;
    ULONG done = size;
    if (output_) {
      const HRESULT hr = output_->Write(data, size, &done);
      if (FAILED(hr)) return hr;
    }
    record_.bytes += done;
    if (record_.action_raised) record_.bytes_after_action = static_cast<ULONG>(record_.bytes - action_at_bytes_);
    if (written) *written = done;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRate(long* rate) override {
    if (!rate) return E_POINTER;
    voice_.actions_ &= ~static_cast<DWORD>(SPVES_RATE);
    *rate = voice_.rate_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override {
    if (!volume) return E_POINTER;
    voice_.actions_ &= ~static_cast<DWORD>(SPVES_VOLUME);
    *volume = voice_.volume_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, long* count) override {
    if (!type || !count) return E_POINTER;
    *type = SPVST_SENTENCE;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CompleteSkip(long skipped) override {
    voice_.actions_ &= ~static_cast<DWORD>(SPVES_SKIP);
    ++record_.complete_skips;
    record_.last_skip_count = skipped;
    return S_OK;
  }

  QmSpeakRecord record_{};

 private:
  Voice& voice_;
  ISpStreamFormat* output_;
  ULONG stream_number_;
  bool fired_ = false;
  ULONGLONG action_at_bytes_ = 0;
};

Voice::Voice() { idle_ = CreateEventW(nullptr, TRUE, TRUE, nullptr); }

Voice::~Voice() {
  actions_ |= SPVES_ABORT;
  FinishRunning();
  for (SPEVENT& e : events_) FreeEvent(e);
  if (idle_) CloseHandle(idle_);
}

void* Voice::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == __uuidof(ISpNotifySource) || iid == __uuidof(ISpEventSource) ||
      iid == __uuidof(ISpVoice))
    return static_cast<ISpVoice*>(this);
  if (iid == __uuidof(IQmVoiceTest)) return static_cast<IQmVoiceTest*>(this);
  return nullptr;
}

void Voice::Queue(const SPEVENT& event) {
  std::lock_guard guard(lock_);
  if (event.eEventId >= 64 || !(queued_interest_ & (1ull << event.eEventId))) return;
  SPEVENT copy;
  if (CopyEvent(event, copy)) events_.push_back(copy);
}

HRESULT Voice::SetInterest(ULONGLONG interest, ULONGLONG queued) {
  std::lock_guard guard(lock_);
  interest_ = interest;
  queued_interest_ = queued;
  return S_OK;
}

HRESULT Voice::GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) {
  if (!events || (!fetched && count > 1)) return E_POINTER;
  if (fetched) *fetched = 0;
  std::lock_guard guard(lock_);
  ULONG n = 0;
  while (n < count && !events_.empty()) {
    events[n++] = events_.front();  // the caller now owns any string
    events_.pop_front();
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT Voice::GetInfo(SPEVENTSOURCEINFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard guard(lock_);
  info->ullEventInterest = interest_;
  info->ullQueuedInterest = queued_interest_;
  info->ulCount = static_cast<ULONG>(events_.size());
  return S_OK;
}

HRESULT Voice::SetOutput(IUnknown* output, WINBOOL) {
  com_ptr<ISpStreamFormat> stream;
  if (output && FAILED(output->QueryInterface(__uuidof(ISpStreamFormat), stream.put_void()))) return E_INVALIDARG;
  std::lock_guard guard(lock_);
  output_ = std::move(stream);
  return S_OK;
}

HRESULT Voice::GetOutputObjectToken(ISpObjectToken** token) {
  if (!token) return E_POINTER;
  *token = nullptr;
  return S_FALSE;  // never an audio device
}

HRESULT Voice::GetOutputStream(ISpStreamFormat** stream) {
  if (!stream) return E_POINTER;
  std::lock_guard guard(lock_);
  *stream = output_.get();
  if (!*stream) return kSpErrUninitialized;
  (*stream)->AddRef();
  return S_OK;
}

HRESULT Voice::SetVoice(ISpObjectToken* token) {
  std::lock_guard guard(lock_);
  if (token != token_.get()) engine_.reset();  // a new voice gets its own engine
  token_ = com_ptr<ISpObjectToken>(token);
  return S_OK;
}

HRESULT Voice::GetVoice(ISpObjectToken** token) {
  if (!token) return E_POINTER;
  *token = nullptr;
  std::lock_guard guard(lock_);
  if (!token_) {
    // The category's default, as the platform would choose it.
    auto category = Make<TokenCategory>();
    if (!category) return E_OUTOFMEMORY;
    wchar_t* id = nullptr;
    if (HRESULT hr = category->SetId(kVoicesCategory, FALSE); FAILED(hr)) return hr;
    if (HRESULT hr = category->GetDefaultTokenId(&id); FAILED(hr)) return hr;
    auto t = Make<ObjectToken>();
    HRESULT hr = t ? t->SetId(kVoicesCategory, id, FALSE) : E_OUTOFMEMORY;
    CoTaskMemFree(id);
    if (FAILED(hr)) return hr;
    token_ = com_ptr<ISpObjectToken>(t.get());
  }
  return HandOut(token_, token);
}

HRESULT Voice::EnsureEngine(com_ptr<ISpTTSEngine>& engine) {
  {
    std::lock_guard guard(lock_);
    if (engine_) {
      engine = engine_;
      return S_OK;
    }
  }
  com_ptr<ISpObjectToken> token;
  if (HRESULT hr = GetVoice(token.put()); FAILED(hr)) return hr;
  com_ptr<ISpTTSEngine> created;
  if (HRESULT hr = token->CreateInstance(nullptr, CLSCTX_ALL, kIID_ISpTTSEngine, created.put_void()); FAILED(hr))
    return hr;
  std::lock_guard guard(lock_);
  if (token.get() == token_.get()) engine_ = created;
  engine = created;
  return S_OK;
}

void Voice::FinishRunning() {
  std::lock_guard guard(thread_lock_);
  if (worker_.joinable()) worker_.join();
}

HRESULT Voice::Speak(LPCWSTR text, DWORD flags, ULONG* stream_number) {
  const LONGLONG call = Now();
  if (stream_number) *stream_number = 0;
  return Guard([&]() -> HRESULT {
    if (flags & SPF_PURGEBEFORESPEAK) {
      actions_ |= SPVES_ABORT;
      FinishRunning();
    }
    if (!text) return S_OK;
    if (flags & SPF_IS_FILENAME) return E_NOTIMPL;
    Job job;
    job.flags = flags;
    job.qpc_call = call;
    const bool markup = (flags & SPF_IS_XML) || (!(flags & SPF_IS_NOT_XML) && LooksLikeMarkup(text));
    job.fragments = markup ? ParseSpeechMarkup(text) : PlainTextFragments(text);
    if (HRESULT hr = EnsureEngine(job.engine); FAILED(hr)) return hr;
    {
      std::lock_guard guard(lock_);
      job.output = output_;
      job.stream_number = next_stream_++;
    }
    if (stream_number) *stream_number = job.stream_number;
    FinishRunning();  // one utterance after the other, as the platform queues them
    ResetEvent(idle_);
    speaking_ = true;
    if (!(flags & SPF_ASYNC)) {
      const HRESULT hr = Run(job);
      speaking_ = false;
      SetEvent(idle_);
      return hr;
    }
    std::lock_guard thread_guard(thread_lock_);
    if (worker_.joinable()) worker_.join();  // another thread's Speak may have started one meanwhile
    ResetEvent(idle_);
    speaking_ = true;
    worker_ = std::thread([this, job = std::move(job)]() mutable {
      const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      Run(job);
      job = Job{};  // release the engine and stream before leaving the apartment
      if (SUCCEEDED(init)) CoUninitialize();
      speaking_ = false;
      SetEvent(idle_);
    });
    return S_OK;
  });
}

HRESULT Voice::Run(Job& job) {
  std::lock_guard run(run_lock_);
  // A purge ends what was speaking, not what is asked afterwards; the engine
  // reads rate and volume at its start anyway.
  actions_ = 0;

  WAVEFORMATEX target = Pcm16kMono();
  GUID target_id = kSPDFID_WaveFormatEx;
  WAVEFORMATEX* stream_format = nullptr;
  if (job.output) {
    if (FAILED(job.output->GetFormat(&target_id, &stream_format)) || !stream_format) return kSpErrUninitialized;
    target = *stream_format;
    CoTaskMemFree(stream_format);
  }
  GUID format_id{};
  WAVEFORMATEX* format = nullptr;
  HRESULT hr = job.engine->GetOutputFormat(&target_id, &target, &format_id, &format);
  if (FAILED(hr)) return hr;
  struct FormatOwner {
    WAVEFORMATEX* p;
    ~FormatOwner() { CoTaskMemFree(p); }
  } owner{format};
  // No format conversion here: the output must take what the engine makes.
  if (!format || format_id != kSPDFID_WaveFormatEx ||
      (job.output && (format->nSamplesPerSec != target.nSamplesPerSec || format->nChannels != target.nChannels ||
                      format->wBitsPerSample != target.wBitsPerSample || format->wFormatTag != target.wFormatTag)))
    return kSpErrUnsupportedFormat;

  std::vector<SPVTEXTFRAG> frags(job.fragments.size());
  for (size_t i = 0; i < frags.size(); ++i) {
    const MarkupFragment& m = job.fragments[i];
    SPVTEXTFRAG& f = frags[i];
    std::memset(&f, 0, sizeof f);
    f.pNext = i + 1 < frags.size() ? &frags[i + 1] : nullptr;
    f.State.eAction = ToAction(m.action);
    f.State.LangID = 0x409;
    f.State.RateAdj = m.rate;
    f.State.Volume = m.volume;
    f.State.PitchAdj.MiddleAdj = m.pitch;
    f.State.SilenceMSecs = m.silence_ms;
    f.pTextStart = m.text.empty() ? nullptr : m.text.c_str();
    f.ulTextLen = static_cast<ULONG>(m.text.size());
    f.ulTextSrcOffset = static_cast<ULONG>(m.source_offset);
  }

  auto site = Make<OutputSite>(*this, job.output.get(), job.stream_number);
  if (!site) return E_OUTOFMEMORY;
  site->record_.qpc_speak_call = job.qpc_call;
  site->record_.fragments = static_cast<ULONG>(frags.size());
  SPEVENT start{};
  start.eEventId = SPEI_START_INPUT_STREAM;
  start.elParamType = SPET_LPARAM_IS_UNDEFINED;
  start.ulStreamNum = job.stream_number;
  Queue(start);

  site->record_.qpc_engine_call = Now();
  hr = frags.empty() ? S_OK
                     : job.engine->Speak(job.flags & SPF_NLP_MASK, format_id, format, frags.data(),
                                         static_cast<ISpTTSEngineSite*>(site.get()));
  site->record_.qpc_engine_return = Now();

  SPEVENT end = start;
  end.eEventId = SPEI_END_INPUT_STREAM;
  end.ullAudioStreamOffset = site->record_.bytes;
  Queue(end);

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  site->record_.qpc_frequency = frequency.QuadPart;
  site->record_.engine_result = hr;
  std::lock_guard guard(lock_);
  last_ = site->record_;
  last_result_ = hr;
  return hr;
}

HRESULT Voice::GetStatus(SPVOICESTATUS* status, LPWSTR* last_bookmark) {
  if (last_bookmark) *last_bookmark = nullptr;
  if (!status) return E_POINTER;
  std::memset(status, 0, sizeof *status);
  std::lock_guard guard(lock_);
  status->dwRunningState = speaking_ ? SPRS_IS_SPEAKING : SPRS_DONE;
  status->hrLastResult = last_result_;
  status->ulLastStreamQueued = next_stream_ - 1;
  return S_OK;
}

HRESULT Voice::SetRate(LONG rate) {
  if (rate < -10 || rate > 10) return E_INVALIDARG;
  rate_ = rate;
  actions_ |= SPVES_RATE;
  return S_OK;
}

HRESULT Voice::GetRate(LONG* rate) {
  if (!rate) return E_POINTER;
  *rate = rate_;
  return S_OK;
}

HRESULT Voice::SetVolume(USHORT volume) {
  if (volume > 100) return E_INVALIDARG;
  volume_ = volume;
  actions_ |= SPVES_VOLUME;
  return S_OK;
}

HRESULT Voice::GetVolume(USHORT* volume) {
  if (!volume) return E_POINTER;
  *volume = volume_;
  return S_OK;
}

HRESULT Voice::WaitUntilDone(ULONG timeout_ms) {
  const DWORD r = WaitForSingleObject(idle_, timeout_ms);
  if (r == WAIT_TIMEOUT) return S_FALSE;
  return r == WAIT_OBJECT_0 ? S_OK : E_FAIL;
}

HRESULT Voice::ScheduleAction(ULONGLONG after_bytes, DWORD action, LONG value) {
  if (action < QM_ACTION_ABORT || action > QM_ACTION_VOLUME) return E_INVALIDARG;
  if (action == QM_ACTION_RATE && (value < -10 || value > 10)) return E_INVALIDARG;
  if (action == QM_ACTION_VOLUME && (value < 0 || value > 100)) return E_INVALIDARG;
  std::lock_guard guard(lock_);
  schedule_ = {true, after_bytes, action, value};
  return S_OK;
}

HRESULT Voice::ClearSchedule() {
  std::lock_guard guard(lock_);
  schedule_ = {};
  return S_OK;
}

HRESULT Voice::GetLastSpeak(QmSpeakRecord* record) {
  if (!record) return E_POINTER;
  std::lock_guard guard(lock_);
  *record = last_;
  return S_OK;
}

}  // namespace Quellmar::sapirt
