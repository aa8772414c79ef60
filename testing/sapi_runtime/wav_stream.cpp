#include "testing/sapi_runtime/wav_stream.h"

#include <cstring>

namespace Quellmar::sapirt {
namespace {

constexpr DWORD kHeaderBytes = 44;  // RIFF, fmt (16 bytes of PCM format), data

void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

bool WriteAt(HANDLE file, DWORD offset, const void* data, DWORD size) {
  LARGE_INTEGER at;
  at.QuadPart = offset;
  DWORD done = 0;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && WriteFile(file, data, size, &done, nullptr) &&
         done == size;
}

}  // namespace

HRESULT WavStream::BindToFile(LPCWSTR file_name, SPFILEMODE mode, const GUID* format_id, const WAVEFORMATEX* format,
                              ULONGLONG) {
  if (!file_name) return E_INVALIDARG;
  std::lock_guard guard(lock_);
  if (file_) return kSpErrAlreadyInitialized;
  if (mode != SPFM_CREATE_ALWAYS && mode != SPFM_CREATE) return E_NOTIMPL;  // only writing is served
  if (!format_id || *format_id != kSPDFID_WaveFormatEx || !format || format->wFormatTag != WAVE_FORMAT_PCM)
    return kSpErrUnsupportedFormat;
  unique_file file(CreateFileW(file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               mode == SPFM_CREATE ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return HRESULT_FROM_WIN32(GetLastError());
  format_ = *format;
  format_.cbSize = 0;
  unsigned char header[kHeaderBytes] = {};
  std::memcpy(header, "RIFF", 4);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  Put32(header + 16, 16);
  Put16(header + 20, format_.wFormatTag);
  Put16(header + 22, format_.nChannels);
  Put32(header + 24, format_.nSamplesPerSec);
  Put32(header + 28, format_.nAvgBytesPerSec);
  Put16(header + 32, format_.nBlockAlign);
  Put16(header + 34, format_.wBitsPerSample);
  std::memcpy(header + 36, "data", 4);
  if (!WriteAt(file.get(), 0, header, kHeaderBytes)) return HRESULT_FROM_WIN32(GetLastError());
  file_ = std::move(file);
  data_bytes_ = 0;
  return S_OK;
}

HRESULT WavStream::Write(const void* data, ULONG size, ULONG* written) {
  if (written) *written = 0;
  if (!data && size) return E_POINTER;
  std::lock_guard guard(lock_);
  if (!file_) return kSpErrUninitialized;
  if (data_bytes_ + size > 0xFFFFFFFFull - kHeaderBytes) return STG_E_MEDIUMFULL;  // a WAV file's limit
  LARGE_INTEGER end{};
  DWORD done = 0;
  if (!SetFilePointerEx(file_.get(), end, nullptr, FILE_END) || !WriteFile(file_.get(), data, size, &done, nullptr))
    return HRESULT_FROM_WIN32(GetLastError());
  data_bytes_ += done;
  if (written) *written = done;
  return S_OK;
}

HRESULT WavStream::Read(void*, ULONG, ULONG* read) {
  if (read) *read = 0;
  return E_NOTIMPL;
}

HRESULT WavStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  std::lock_guard guard(lock_);
  if (!file_) return kSpErrUninitialized;
  // Only asking where the end is (as hosts do to learn the length) is served.
  if (move.QuadPart != 0 || origin == STREAM_SEEK_SET) return E_NOTIMPL;
  if (position) position->QuadPart = data_bytes_;
  return S_OK;
}

HRESULT WavStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return E_POINTER;
  std::lock_guard guard(lock_);
  std::memset(stat, 0, sizeof *stat);
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = data_bytes_;
  return S_OK;
}

HRESULT WavStream::GetFormat(GUID* format_id, WAVEFORMATEX** format) {
  if (!format_id || !format) return E_POINTER;
  *format = nullptr;
  std::lock_guard guard(lock_);
  if (!file_) return kSpErrUninitialized;
  auto* copy = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
  if (!copy) return E_OUTOFMEMORY;
  *copy = format_;
  *format_id = kSPDFID_WaveFormatEx;
  *format = copy;
  return S_OK;
}

HRESULT WavStream::Finish() {
  if (!file_) return S_OK;
  unsigned char riff[4], data[4];
  Put32(riff, static_cast<uint32_t>(data_bytes_ + kHeaderBytes - 8));
  Put32(data, static_cast<uint32_t>(data_bytes_));
  const bool ok = WriteAt(file_.get(), 4, riff, 4) && WriteAt(file_.get(), 40, data, 4);
  file_.reset();
  return ok ? S_OK : E_FAIL;
}

HRESULT WavStream::Close() {
  std::lock_guard guard(lock_);
  return Finish();
}

}  // namespace Quellmar::sapirt
