// SpStream bound to a file: BindToFile writes a WAV header for the given
// format, Write appends the samples, Close (or the last Release) fills in
// the chunk sizes.
#pragma once

#include <mutex>
#include <string>

#include "common/win_handles.h"
#include "sapi/sapi_engine_interfaces.h"
#include "testing/sapi_runtime/runtime_object.h"

namespace Quellmar::sapirt {

class WavStream : public ISpStream {
 public:
  virtual ~WavStream() { Finish(); }
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream ||
            iid == __uuidof(ISpStreamFormat) || iid == __uuidof(ISpStream))
               ? static_cast<ISpStream*>(this)
               : nullptr;
  }
  // ISequentialStream, IStream
  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
  }
  // ISpStreamFormat, ISpStream
  HRESULT STDMETHODCALLTYPE GetFormat(GUID* format_id, WAVEFORMATEX** format) override;
  HRESULT STDMETHODCALLTYPE SetBaseStream(IStream*, REFGUID, const WAVEFORMATEX*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBaseStream(IStream** stream) override {
    if (stream) *stream = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToFile(LPCWSTR file_name, SPFILEMODE mode, const GUID* format_id,
                                       const WAVEFORMATEX* format, ULONGLONG event_interest) override;
  HRESULT STDMETHODCALLTYPE Close() override;

 private:
  HRESULT Finish();
  std::mutex lock_;
  unique_file file_;
  WAVEFORMATEX format_{};
  uint64_t data_bytes_ = 0;
};

}  // namespace Quellmar::sapirt
