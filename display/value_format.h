// Value formatters: stateless functions that turn a display's value into the
// read-out text of the editors (names, Hz, %, dB, ms, ...). Every formatter
// has the shape of a text display's formatting callback, so an editor can
// install it directly:
//
//     void format(float value, char* text);
//
// text must hold at least kFormatTextSize bytes (a text display provides
// 256); every formatter writes a zero-terminated text, possibly empty. The
// number texts come from klv::float2string (host/number_text.h), so the
// editor read-outs and the host's parameter displays cut digits the same way.
//
// NaN, and a value whose integer part an int cannot hold where the format
// prints an integer, give an empty text rather than an undefined number.
// Number texts of magnitudes beyond float2string's range are its " Huge!  "
// cut like any other number text.
#pragma once

#include <cstddef>
#include <string>

namespace klv::display {

// Longest text any formatter writes, terminator included.
constexpr std::size_t kFormatTextSize = 32;

using Formatter = void (*)(float value, char* text);

// A plug-in's table of the words its name displays show.
struct NameTable {
    const char* const* names;
    int count;
};

extern const NameTable kClamporaNames;  // 17 rows
extern const NameTable kTonvelaNames;   // 15 rows

// The word at row (int)value of table; an empty text for any other value.
void formatName(const NameTable& table, float value, char* text);
// formatName bound to each plug-in's table, in the callback shape.
void formatClamporaName(float value, char* text);
void formatTonvelaName(float value, char* text);

// Saturation curve name of shape step (int)value: "none", "valve1".."valve3",
// "tape1".."tape3", "digital"; empty outside 0..7.
void formatShapeName(float value, char* text);
// Frequency in Hz, rounded half up: "%dHz".
void formatHz(float value, char* text);
// Normalised value as a truncated percentage: "%d%%".
void formatPercent(float value, char* text);
// Linear gain factor in decibels with one cut decimal: "6.0dB", "-0.4dB";
// "-oo dB" at or below 1e-8.
void formatDecibel(float value, char* text);
// The first three characters of the number text (a Q value: "0.5", "10.").
void formatShortNumber(float value, char* text);
// Compressor make-up from its normalised value: "auto", empty, or dB.
void formatMakeupGain(float value, char* text);
// Compressor slope: "soft" at 0, "hard" at 1, a percentage between.
void formatSlope(float value, char* text);
// Compressor attack from its normalised value: "fast", "slow", empty, or ms.
void formatAttackTime(float value, char* text);
// Compressor release from its normalised value: "fast", "slow", empty, or ms.
void formatReleaseTime(float value, char* text);
// Compressor hold from its normalised value, in ms.
void formatHoldTime(float value, char* text);

// Editor read-outs by parameter index, for tools that list a plug-in's state
// as its editor would show it. value is the normalised parameter value as a
// host sends it; the working value the editor's display shows (gain factor,
// Hz, Q, shape step, the compressor's snapped time values) is derived from it
// by the plug-in's own mapping. Parameters without a value display (switches)
// and indexes out of range give an empty string.
std::string clamporaReadout(int index, float value);
std::string tonvelaReadout(int index, float value);

// The word of the name display over parameter index in the editor (the
// compressor's "scFreq" shows "freq"); empty where the editor has none.
std::string clamporaReadoutName(int index);
std::string tonvelaReadoutName(int index);

}  // namespace klv::display
