// A scriptable stand-in for the engine core, for tests of the code that
// drives it. Several builds of the same code differ only in which entry
// points they export (missing required or optional ones). A test chooses the
// behaviour with the exported `fake_script` and reads back every call made
// with `fake_calls`.
//
// Script: words separated by spaces, each KEY=VALUE:
//   version=TEXT   the version text ("" for an empty one, "@256" for 256
//                  bytes of 'v' with no terminator); default "Fake 1.0"
//   fmt= bps= sps= channels=   format answers; default 7, 8, 8000, 1
//   init=S         status of _initialize_SSB@12; default 0
//   segments=N     segments delivered with status 0; default 2
//   seglen=N       bytes per segment (at most 1 MiB); default 800
//   then=S         after the N segments one more segment is announced and
//                  _synth_to_buffer@12 returns S for it; default: none
//   endless=1      segments never run out
//   count@K=X      segment K (from 1) reports X bytes whatever it wrote
// Segment K's bytes all have the value K & 0xFF.
//
// A core loaded by another program (the worker under test) is scripted
// through its text instead: with the environment variable named by
// kScriptInTextVariable set to 1 in that program, every initialize_SSB
// takes its text as the script (and starts a new call record); a text
// that is no script makes it return 2870, nothing speakable.
//
// The call record has one line per entry-point call, e.g. "initialize_SSB
// hello", "set_tag_flag 1", "isSeg_Available", "synth_to_buffer",
// "close_SSB", "set_pausation 2 900". A call the core would reject (a status
// block that is not zeroed or not the initialised one, a count not set to 0,
// a segment buffer that is not zeroed at the first segment) gets " BAD..."
// appended to its line.
#pragma once

#include <cstdint>

namespace Quellmar::testing::fake_core {

// Resets all state and the call record. 0, or -1 for a script it cannot read.
using fake_script_fn = int (*)(const char* script);
// Copies the call record (NUL-terminated, cut to fit) and returns its full length.
using fake_calls_fn = uint32_t (*)(char* out, uint32_t capacity);

inline constexpr const char* kScriptEntry = "fake_script";
inline constexpr const char* kCallsEntry = "fake_calls";
inline constexpr const wchar_t* kScriptInTextVariable = L"QM_FAKE_CORE_SCRIPT_IN_TEXT";

// File names of the builds, in <build>\fake_engine_core\.
inline constexpr const wchar_t* kFull = L"fake_qmcore.dll";
inline constexpr const wchar_t* kRequiredOnly = L"fake_qmcore_required_only.dll";
inline constexpr const wchar_t* kNoSampleRate = L"fake_qmcore_no_get_snd_sps.dll";
// Each lacks one required entry point: fake_qmcore_no_<name>.dll.
inline constexpr const wchar_t* kMissingRequired[] = {
    L"fake_qmcore_no_initialize_SSB.dll", L"fake_qmcore_no_close_SSB.dll",
    L"fake_qmcore_no_set_tag_flag.dll", L"fake_qmcore_no_isSeg_Available.dll",
    L"fake_qmcore_no_synth_to_buffer.dll"};

}  // namespace Quellmar::testing::fake_core
