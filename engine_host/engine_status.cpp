#include "engine_host/engine_status.h"

namespace Quellmar {

const char* StatusName(int32_t code) {
  switch (code) {
    case kStatusOk:
      return "ok";
    case kStatusNoMoreSpeech:
      return "no more speech in this utterance";
    case kStatusNullArgument:
      return "null argument";
    case kStatusPitchOutOfRange:
      return "pitch out of range (45..91)";
    case kStatusSpeedOutOfRange:
      return "speed out of range (85..350)";
    case kStatusVolumeOutOfRange:
      return "volume out of range (0..65535)";
    case kStatusNullInput:
      return "null input";
    case kStatusInvalidInputFile:
      return "invalid input file";
    case kStatusNullOutput:
      return "null output";
    case kStatusNothingSpeakable:
      return "nothing speakable in the text";
    case kStatusOutOfMemory:
      return "out of memory";
    case kStatusNullStatusBlock:
      return "null synthesis status block";
    case kStatusChannelLimit:
      return "the engine's channel limit is exhausted";
    default:
      return "unknown engine status";
  }
}

}  // namespace Quellmar
