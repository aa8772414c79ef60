// The engine object SAPI creates for a Quellmar voice: which voice it is
// (from its token), the audio format, and the Speak loop that turns the
// host's fragments into events and into audio from the worker.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/com_ptr.h"
#include "sapi/com_object.h"
#include "sapi/sapi_engine_interfaces.h"

namespace Quellmar::sapi {

// The audio output of one Speak call.
struct SiteWriter {
  ISpTTSEngineSite* site = nullptr;  // the call's own argument, not referenced
  uint64_t total = 0;                // bytes the site accepted; the events' audio offset
  bool cancelled = false;            // the host asked to abort or skip during a write
};

// Writes `size` bytes to the site in writes of at most 4096 bytes, asking
// for the host's actions before each. True when all bytes were accepted.
bool WriteToSite(const void* data, uint64_t size, SiteWriter& writer) noexcept;
// Whether the host still wants this call's audio: false once it has asked
// to abort or skip (a skip is completed here), and from then on.
bool HostStillListening(SiteWriter& writer) noexcept;
// Zero samples for `milliseconds`, from one buffer of at most 4096 samples.
void WriteSilence(uint32_t milliseconds, SiteWriter& writer);

class ISpTTSEngineImpl : public ISpTTSEngine, public ISpObjectWithToken {
 public:
  static const CLSID& class_id();

  ISpTTSEngineImpl() = default;
  virtual ~ISpTTSEngineImpl() = default;

  // ISpObjectWithToken
  STDMETHODIMP SetObjectToken(ISpObjectToken* token) noexcept override;
  STDMETHODIMP GetObjectToken(ISpObjectToken** token) noexcept override;

  // ISpTTSEngine
  STDMETHODIMP Speak(DWORD flags, REFGUID format_id, const WAVEFORMATEX* format,
                     const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site) noexcept override;
  STDMETHODIMP GetOutputFormat(const GUID* target_format_id, const WAVEFORMATEX* target_format,
                               GUID* format_id, WAVEFORMATEX** format) noexcept override;

  int voice_index() const { return voice_index_; }

 protected:
  void* FindInterface(REFIID iid);

 private:
  HRESULT SpeakFragments(const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site);

  com_ptr<ISpObjectToken> token_;
  int voice_index_ = 0;
};

}  // namespace Quellmar::sapi
