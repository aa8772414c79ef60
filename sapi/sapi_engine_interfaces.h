// The SAPI 5 engine-side interfaces and structures (the engine DDK's part of
// the published SAPI definitions) that mingw-w64's sapi.h leaves out. Both
// the engine and the test runtime's SpVoice and site include this one header.
//
// Taken from sapi.h as it is: ISpDataKey, ISpObjectToken, ISpObjectTokenInit,
// ISpObjectWithToken, IEnumSpObjectTokens, ISpEventSink (the site's base),
// ISpVoice, ISpStream, SPEVENT, SPEI_*, SPET_*, SPFEI(), SPVACTIONS,
// SPVLIMITS, SPVSTATE, SPVPITCH, SPVCONTEXT, SPPARTOFSPEECH, SPPHONEID and the
// CLSIDs of the runtime classes.
// Interface ids and slot order below are those of the published definitions.
#pragma once

// windows.h first: mmreg.h and sapi.h need its types.
// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <objbase.h>
#include <sapi.h>
#include <sperror.h>
// clang-format on

// sperror.h of mingw only has SPERR_NOT_FOUND.
#ifndef SPERR_NO_MORE_ITEMS
#define SPERR_NO_MORE_ITEMS MAKE_SAPI_ERROR(0x0039)  // 0x80045039
#endif
#ifndef SPERR_UNINITIALIZED
#define SPERR_UNINITIALIZED MAKE_SAPI_ERROR(0x0001)  // 0x80045001
#endif
#ifndef SPERR_UNSUPPORTED_FORMAT
#define SPERR_UNSUPPORTED_FORMAT MAKE_SAPI_ERROR(0x0003)  // 0x80045003
#endif

// What GetActions reports: the host's requests since the last call.
typedef enum SPVESACTIONS {
  SPVES_CONTINUE = 0,
  SPVES_ABORT = 1 << 0,
  SPVES_SKIP = 1 << 1,
  SPVES_RATE = 1 << 2,
  SPVES_VOLUME = 1 << 3
} SPVESACTIONS;

typedef enum SPVSKIPTYPE { SPVST_SENTENCE = 1 << 0 } SPVSKIPTYPE;

typedef struct SPVTEXTFRAG {
  struct SPVTEXTFRAG* pNext;
  SPVSTATE State;
  LPCWSTR pTextStart;
  ULONG ulTextLen;
  ULONG ulTextSrcOffset;
} SPVTEXTFRAG;

// The output site SAPI hands to ISpTTSEngine::Speak. Slots after ISpEventSink's
// AddEvents and GetEventInterest: GetActions, Write, GetRate, GetVolume,
// GetSkipInfo, CompleteSkip.
MIDL_INTERFACE("9880499B-CCE9-11D2-B503-00C04F797396")
ISpTTSEngineSite : public ISpEventSink {
 public:
  virtual DWORD STDMETHODCALLTYPE GetActions() = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pBuff, ULONG cb, ULONG* pcbWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRate(long* pRateAdjust) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolume(USHORT * pusVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE * peType, long* plNumItems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompleteSkip(long ulNumSkipped) = 0;
};
__CRT_UUID_DECL(ISpTTSEngineSite, 0x9880499b, 0xcce9, 0x11d2, 0xb5, 0x03, 0x00, 0xc0, 0x4f, 0x79,
                0x73, 0x96)

// The engine. Slots after IUnknown: Speak, GetOutputFormat.
MIDL_INTERFACE("A74D7C8E-4CC5-4F2F-A6EB-804DEE18500E")
ISpTTSEngine : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Speak(
      DWORD dwSpeakFlags, REFGUID rguidFormatId, const WAVEFORMATEX* pWaveFormatEx,
      const SPVTEXTFRAG* pTextFragList, ISpTTSEngineSite* pOutputSite) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(
      const GUID* pTargetFmtId, const WAVEFORMATEX* pTargetWaveFormatEx, GUID* pOutputFormatId,
      WAVEFORMATEX** ppCoMemOutputWaveFormatEx) = 0;
};
__CRT_UUID_DECL(ISpTTSEngine, 0xa74d7c8e, 0x4cc5, 0x4f2f, 0xa6, 0xeb, 0x80, 0x4d, 0xee, 0x18, 0x50,
                0x0e)

// sapi.h declares the interface ids as extern data without defining them for
// these two; the values, usable anywhere without a definition elsewhere.
inline constexpr IID kIID_ISpTTSEngineSite = {
    0x9880499b, 0xcce9, 0x11d2, {0xb5, 0x03, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
inline constexpr IID kIID_ISpTTSEngine = {
    0xa74d7c8e, 0x4cc5, 0x4f2f, {0xa6, 0xeb, 0x80, 0x4d, 0xee, 0x18, 0x50, 0x0e}};

// Stream format ids. sapi.h declares SPDFID_WaveFormatEx and SPDFID_Text but
// no library defines them: use these (or the names, defined below).
inline constexpr GUID kSPDFID_WaveFormatEx = {
    0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};
inline constexpr GUID kSPDFID_Text = {
    0x7ceef9f9, 0x3d13, 0x11d2, {0x9e, 0xe7, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};

// The published names too, for code written against them: sapi.h declares
// them extern; one definition per program, whatever includes this header.
extern "C" __declspec(selectany) const GUID SPDFID_WaveFormatEx = kSPDFID_WaveFormatEx;
extern "C" __declspec(selectany) const GUID SPDFID_Text = kSPDFID_Text;

// Interface ids of sapi.h's interfaces, as values (sapi.h's IID_* symbols need
// a definition from uuid.lib that mingw does not provide for all of them).
inline constexpr IID kIID_ISpDataKey = {
    0x14056581, 0xe16c, 0x11d2, {0xbb, 0x90, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0xc0}};
inline constexpr IID kIID_ISpObjectToken = {
    0x14056589, 0xe16c, 0x11d2, {0xbb, 0x90, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0xc0}};
inline constexpr IID kIID_ISpObjectTokenInit = {
    0xb8aab0cf, 0x346f, 0x49d8, {0x94, 0x99, 0xc8, 0xb0, 0x3f, 0x16, 0x1d, 0x51}};
inline constexpr IID kIID_ISpObjectWithToken = {
    0x5b559f40, 0xe952, 0x11d2, {0xbb, 0x91, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0xc0}};
inline constexpr IID kIID_IEnumSpObjectTokens = {
    0x06b64f9e, 0x7fda, 0x11d2, {0xb4, 0xf2, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
inline constexpr IID kIID_ISpEventSink = {
    0xbe7a9cc9, 0x5f9e, 0x11d2, {0x96, 0x0f, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
inline constexpr CLSID kCLSID_SpObjectToken = {
    0xef411752, 0x3736, 0x4cb4, {0x9c, 0x8c, 0x8e, 0xf4, 0xcc, 0xb5, 0x8e, 0xfe}};
