// SpVoice: what a host speaks through. It finds the voice's engine through
// the token's CLSID, hands it the token, asks its format and calls
// ISpTTSEngine::Speak with the fragment list of the text and an output site
// that writes to the output stream and records every event.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "sapi/sapi_engine_interfaces.h"
#include "testing/sapi_runtime/runtime_object.h"
#include "testing/sapi_runtime/runtime_test_api.h"
#include "testing/sapi_runtime/speech_markup.h"

namespace Quellmar::sapirt {

class OutputSite;

class Voice : public ISpVoice, public IQmVoiceTest {
 public:
  Voice();
  virtual ~Voice();
  void* Find(REFIID iid);

  // ISpNotifySource: notifications are not served; hosts poll GetEvents or wait.
  HRESULT STDMETHODCALLTYPE SetNotifySink(ISpNotifySink*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetNotifyWin32Event() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE WaitForNotifyEvent(DWORD) override { return E_NOTIMPL; }
  HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override { return nullptr; }
  // ISpEventSource
  HRESULT STDMETHODCALLTYPE SetInterest(ULONGLONG interest, ULONGLONG queued) override;
  HRESULT STDMETHODCALLTYPE GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE GetInfo(SPEVENTSOURCEINFO* info) override;
  // ISpVoice
  HRESULT STDMETHODCALLTYPE SetOutput(IUnknown* output, WINBOOL allow_format_changes) override;
  HRESULT STDMETHODCALLTYPE GetOutputObjectToken(ISpObjectToken** token) override;
  HRESULT STDMETHODCALLTYPE GetOutputStream(ISpStreamFormat** stream) override;
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken* token) override;
  HRESULT STDMETHODCALLTYPE GetVoice(ISpObjectToken** token) override;
  HRESULT STDMETHODCALLTYPE Speak(LPCWSTR text, DWORD flags, ULONG* stream_number) override;
  HRESULT STDMETHODCALLTYPE SpeakStream(IStream*, DWORD, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStatus(SPVOICESTATUS* status, LPWSTR* last_bookmark) override;
  HRESULT STDMETHODCALLTYPE Skip(LPCWSTR, LONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPriority(SPVPRIORITY) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPriority(SPVPRIORITY*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAlertBoundary(SPEVENTENUM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAlertBoundary(SPEVENTENUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetRate(LONG rate) override;
  HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override;
  HRESULT STDMETHODCALLTYPE SetVolume(USHORT volume) override;
  HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override;
  HRESULT STDMETHODCALLTYPE WaitUntilDone(ULONG timeout_ms) override;
  HRESULT STDMETHODCALLTYPE SetSyncSpeakTimeout(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSpeakTimeout(ULONG*) override { return E_NOTIMPL; }
  HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override { return idle_; }
  HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG, WINBOOL* supported) override {
    if (supported) *supported = FALSE;
    return supported ? S_OK : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) override { return E_NOTIMPL; }
  // IQmVoiceTest
  HRESULT STDMETHODCALLTYPE ScheduleAction(ULONGLONG after_bytes, DWORD action, LONG value) override;
  HRESULT STDMETHODCALLTYPE ClearSchedule() override;
  HRESULT STDMETHODCALLTYPE GetLastSpeak(QmSpeakRecord* record) override;

 private:
  friend class OutputSite;
  struct Job {
    std::vector<MarkupFragment> fragments;
    DWORD flags = 0;
    ULONG stream_number = 0;
    com_ptr<ISpTTSEngine> engine;
    com_ptr<ISpStreamFormat> output;
    LONGLONG qpc_call = 0;
  };
  struct Schedule {
    bool armed = false;
    ULONGLONG after_bytes = 0;
    DWORD action = 0;
    LONG value = 0;
  };

  HRESULT EnsureEngine(com_ptr<ISpTTSEngine>& engine);
  HRESULT Run(Job& job);
  void FinishRunning();  // waits for an asynchronous Speak and joins its thread
  void Queue(const SPEVENT& event);

  std::mutex lock_;  // everything below but the atomics
  com_ptr<ISpObjectToken> token_;
  com_ptr<ISpTTSEngine> engine_;
  com_ptr<ISpStreamFormat> output_;
  ULONGLONG interest_ = 0;
  ULONGLONG queued_interest_ = 0;
  std::deque<SPEVENT> events_;
  Schedule schedule_;
  QmSpeakRecord last_{};
  ULONG next_stream_ = 1;
  HRESULT last_result_ = S_OK;

  std::atomic<LONG> rate_{0};
  std::atomic<USHORT> volume_{100};
  std::atomic<DWORD> actions_{0};  // SPVES_* flags the site reports
  std::atomic<bool> speaking_{false};

  std::mutex run_lock_;  // one Speak at a time reaches the engine
  std::mutex thread_lock_;  // guards worker_ against Speak calls from several threads
  std::thread worker_;
  HANDLE idle_ = nullptr;  // manual-reset, set while nothing is speaking
};

// The stream the platform's helpers would give: 16 kHz, 16-bit mono PCM.
WAVEFORMATEX Pcm16kMono();

}  // namespace Quellmar::sapirt
