// What the stand-in runtime's SpVoice offers tests beyond the platform's
// interfaces: QueryInterface an ISpVoice for IQmVoiceTest to make the output
// site raise a host action after a chosen number of audio bytes, and to read
// what the last Speak did (bytes and writes the site saw, the engine's result,
// timings). The events the engine raised are read with ISpEventSource::GetEvents.
#pragma once

#include <windows.h>
#include <objbase.h>

// Actions ScheduleAction can raise, as the site then reports them through
// GetActions: abort and skip stay raised until the engine stops or calls
// CompleteSkip; rate and volume set the host value and raise their flag
// until the engine reads the new value.
enum QmScheduledAction : DWORD {
  QM_ACTION_ABORT = 1,
  QM_ACTION_SKIP = 2,
  QM_ACTION_RATE = 3,
  QM_ACTION_VOLUME = 4,
};

struct QmSpeakRecord {
  HRESULT engine_result;        // what ISpTTSEngine::Speak returned
  ULONGLONG bytes;              // audio bytes the site accepted
  ULONG writes;                 // Write calls
  ULONG largest_write;          // the largest piece passed to Write
  ULONG bytes_after_action;     // bytes accepted after the scheduled action was raised
  ULONG complete_skips;         // CompleteSkip calls
  LONG last_skip_count;         // the argument of the last CompleteSkip
  ULONG events;                 // events the engine added (all, whatever the interest)
  ULONG fragments;              // fragments handed to the engine
  BOOL action_raised;           // the scheduled action (or a purge) was raised
  LONGLONG qpc_frequency;       // QueryPerformanceFrequency
  LONGLONG qpc_speak_call;      // the host's Speak call began
  LONGLONG qpc_engine_call;     // ISpTTSEngine::Speak was called
  LONGLONG qpc_first_write;     // the first Write reached the site (0: none)
  LONGLONG qpc_action;          // the action was first reported to the engine (0: never)
  LONGLONG qpc_engine_return;   // ISpTTSEngine::Speak returned
};

// {4F1C2E0B-7A55-4E0D-9B7A-2C31D5E8A901}
MIDL_INTERFACE("4F1C2E0B-7A55-4E0D-9B7A-2C31D5E8A901")
IQmVoiceTest : public IUnknown {
 public:
  // Arms one action for the following Speak calls, raised the first time the
  // engine asks GetActions after at least `after_bytes` bytes were written
  // in that call. `value` is the new rate or volume. A second call replaces it.
  virtual HRESULT STDMETHODCALLTYPE ScheduleAction(ULONGLONG after_bytes, DWORD action, LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearSchedule() = 0;
  // The record of the last Speak that reached the engine.
  virtual HRESULT STDMETHODCALLTYPE GetLastSpeak(QmSpeakRecord * record) = 0;
};
__CRT_UUID_DECL(IQmVoiceTest, 0x4f1c2e0b, 0x7a55, 0x4e0d, 0x9b, 0x7a, 0x2c, 0x31, 0xd5, 0xe8, 0xa9, 0x01)
