// The engine core's entry points (qmcore.dll): 32-bit stdcall functions
// exported under their decorated names. Statuses are signed 32-bit, 0 is
// success. The layouts of the status blocks and of the editor's output
// buffer belong to the engine core.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define QM_ENGINE_CALL __stdcall
#else
#define QM_ENGINE_CALL
#endif

namespace Quellmar::engine_api {

// Synthesis set, bound by the engine driver at run time.
using get_av_version_fn = int32_t(QM_ENGINE_CALL*)(char* version256);
using initialize_SSB_fn = int32_t(QM_ENGINE_CALL*)(void* block8192, const char* text, int32_t zero);
using set_tag_flag_fn = int32_t(QM_ENGINE_CALL*)(void* block, int32_t on);
using isSeg_Available_fn = int32_t(QM_ENGINE_CALL*)(void* block);
using synth_to_buffer_fn = int32_t(QM_ENGINE_CALL*)(void* block, unsigned char* buffer1MiB,
                                                    uint32_t* count);
using close_SSB_fn = int32_t(QM_ENGINE_CALL*)(void* block);
using get_snd_fmt_fn = int32_t(QM_ENGINE_CALL*)();
using get_snd_bps_fn = int32_t(QM_ENGINE_CALL*)();
using get_snd_sps_fn = int32_t(QM_ENGINE_CALL*)();
using get_channels_allowed_fn = int32_t(QM_ENGINE_CALL*)();
using get_pausation_fn = int32_t(QM_ENGINE_CALL*)(int32_t index);
using set_pausation_fn = int32_t(QM_ENGINE_CALL*)(int32_t index, int32_t length);

// Dictionary editor set, linked by the editor at build time.
using open_phon_fn = int32_t(QM_ENGINE_CALL*)(void* block1272, const char* text, int32_t zero,
                                              int32_t magic4618);
using synthesize_fn = int32_t(QM_ENGINE_CALL*)(void* block, const char* wave_path);
using close_phon_fn = int32_t(QM_ENGINE_CALL*)(void* block);
using PhonEnc_to_PhonSyl_fn = int32_t(QM_ENGINE_CALL*)(const char* word, int32_t zero,
                                                       const char* phonetic, int32_t magic23,
                                                       int32_t zero2, char* out220);
using PhonSyl_to_Wav_fn = int32_t(QM_ENGINE_CALL*)(const char* buffer220, const char* wave_path);

inline constexpr uint32_t kSynthesisBlockBytes = 8192;
inline constexpr uint32_t kSegmentBufferBytes = 1048576;
inline constexpr uint32_t kPhonBlockBytes = 1272;
inline constexpr uint32_t kPhonSylBytes = 220;
inline constexpr int32_t kOpenPhonMagic = 4618;
inline constexpr int32_t kPhonEncMagic = 23;
inline constexpr int32_t kFormatMuLaw = 7;

// Exported names, exactly as the engine core's export table spells them.
inline constexpr const char* kGetAvVersion = "_get_av_version@4";
inline constexpr const char* kInitializeSSB = "_initialize_SSB@12";
inline constexpr const char* kSetTagFlag = "_set_tag_flag@8";
inline constexpr const char* kIsSegAvailable = "_isSeg_Available@4";
inline constexpr const char* kSynthToBuffer = "_synth_to_buffer@12";
inline constexpr const char* kCloseSSB = "_close_SSB@4";
inline constexpr const char* kGetSndFmt = "_get_snd_fmt@0";
inline constexpr const char* kGetSndBps = "_get_snd_bps@0";
inline constexpr const char* kGetSndSps = "_get_snd_sps@0";
inline constexpr const char* kGetChannelsAllowed = "_get_channels_allowed@0";
inline constexpr const char* kGetPausation = "_get_pausation@4";
inline constexpr const char* kSetPausation = "_set_pausation@8";
inline constexpr const char* kOpenPhon = "_open_phon@16";
inline constexpr const char* kSynthesize = "_synthesize@8";
inline constexpr const char* kClosePhon = "_close_phon@4";
inline constexpr const char* kPhonEncToPhonSyl = "_PhonEnc_to_PhonSyl@24";
inline constexpr const char* kPhonSylToWav = "_PhonSyl_to_Wav@8";

}  // namespace Quellmar::engine_api
