// How the voice drives the table player: the shape of the oscillator's
// pyramids, the note-to-pitch conversion and one 32-sample chunk of rendering
// with the position wrap.
//
// Each pyramid holds 32 cycles of 1024 samples in 12 levels. The pitch is
// updated once per chunk; a glide therefore moves in 32-sample steps and
// crosses a level with one 64-sample crossfade.
#pragma once

#include <cstdint>

namespace rspl {

class MipMapFlt;
class ResamplerFlt;

constexpr int kTableCycleLen = 1024;  // samples per cycle
constexpr int kTableNbrCycles = 32;   // cycles in a source table
constexpr int kTableLen = kTableCycleLen * kTableNbrCycles;
constexpr int kTableNbrLevels = 12;
constexpr int kTableMargin = 12;       // requested; the pyramid widens it to 80
constexpr int kChunkLen = 32;          // output samples per chunk
constexpr int kPitchOctave = 1 << 16;  // pitch units per octave

// Highest pitch rendered: level 7. Above it one chunk could walk further than
// the wrap allows (and the voice never asks for it: its highest note at
// 22050 Hz is below 6.6 octaves).
constexpr int kMaxPitch = 8 * kPitchOctave - 1;
// Lowest pitch: 32 octaves down, a step of a few 1e-10 samples per sample.
// Also what a zero or invalid note frequency gives (silence from a held
// position rather than an undefined conversion).
constexpr int kMinPitch = -32 * kPitchOctave;

// Initialises a pyramid for the oscillator and fills it from kTableLen
// source samples. Allocates; call at construction only.
void build_oscillator_mip_map(MipMapFlt& mip_map, const float* source);

// Pitch for the player: the table cycle plays at note_freq / 4 Hz, times
// 2^(2 * tuning - 1). note_freq in Hz, tuning 0..1, sample_rate in Hz.
// Truncated toward zero and clamped to kMinPitch..kMaxPitch.
int pitch_for_note(double note_freq, double tuning, double sample_rate);

// Keeps the head in the middle cycles of the table: once the position passes
// half the table it moves back to cycle 16 at the same place in the cycle.
void wrap_playback_pos(ResamplerFlt& resampler);

// One chunk: set the pitch, wrap, render count (1..kChunkLen) samples.
void render_chunk(ResamplerFlt& resampler, float* dest, int count, int pitch);

}  // namespace rspl
