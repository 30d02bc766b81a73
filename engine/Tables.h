// The voice's constant tables and the random-integer helper.
//
//  cNoteFreq  note frequencies in Hz (equal temperament, A = 440 Hz at
//             index 22, rounded to 1/1000 Hz); index 0 is a rest (0 Hz).
//             Index = step note number 1..60 = MIDI key - 35. The voice
//             sounds a quarter of the table frequency.
//  funTab1    resonance shaping curve over the cutoff coefficient, read by
//             the resonant low-pass at 64 * cutoff with linear interpolation.
//             Entry i = S(S(S(S(i / 64)))) with S(u) = sin(pi/2 * u): rises
//             steeply from 0 and is flat (within 1e-6) above index ~40.
//  funTab2    2^(i / 32 - 8): cutoff octaves to a factor, 32 entries per
//             octave over 16 octaves (1/256 .. 256), read at (C + 8) * 32.
//
// The two function tables are process-wide and filled by initFunTab1() and
// initFunTab2(), which every instrument constructor calls before any audio
// is rendered; afterwards they are only read, so instances share them.
#pragma once

constexpr int kNoteFreqCount = 61;   // rest + 60 notes
constexpr int kFunTab1Size = 65;     // indices 0..64
constexpr int kFunTab2Size = 513;    // indices 0..512

extern const long double cNoteFreq[kNoteFreqCount];
extern double funTab1[kFunTab1Size];
extern double funTab2[kFunTab2Size];

void initFunTab1();
void initFunTab2();

// Frequency of step note `note`, or 0 (a rest) for anything outside 1..60.
// Notes arrive from MIDI, pattern files and the editor; this is the one way
// the voice turns them into a frequency, so a bad note can never index past
// the table.
inline long double noteFrequency(int note) {
  return (note >= 1 && note < kNoteFreqCount) ? cNoteFreq[note] : 0.0L;
}

class RandomSequence;

// Uniform integer in 0..n-1 from the C library's rand(): trunc(rand() *
// 2^-31 * n) in extended precision. 0 for n <= 0. Declared next to the C
// library's random(void), which it overloads.
int random(int n);
// The same from a RandomSequence's next draw: what the randomisers use
// (the audio thread randomises too, and rand() takes a lock).
int random(RandomSequence& sequence, int n);
