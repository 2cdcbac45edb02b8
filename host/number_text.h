// Number-to-text tools behind the parameter displays. Every ordinary result
// is exactly eight characters; digits are cut, never rounded.
#pragma once

namespace klv {

// Eight-character decimal text of value (widened to double). Buffers must
// hold at least 9 bytes.
void float2string(float value, char* text);
// "%7d" cut to eight characters; " Huge!  " from 100000000 on.
void long2string(long value, char* text);
// float2string of 20 log10(value); "  -oo   " for values at or below 0.
void dB2string(float value, char* text);
// float2string of sampleRate / samples; 0 samples gives the text of 0.
void Hz2string(float samples, float sampleRate, char* text);
// float2string of samples in milliseconds at sampleRate.
void ms2string(float samples, float sampleRate, char* text);

extern const char kHugeText[];      // " Huge!  "
extern const char kMinusInfText[];  // "  -oo   "

}  // namespace klv
