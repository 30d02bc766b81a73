// Source waveforms for the oscillator's mip-map pyramids. Each fills a
// caller's buffer with whole cycles; nothing is allocated.
#pragma once

namespace rspl {

constexpr int kSquareVirusLen = 1024;

// One cycle of a square wave as an analogue circuit outputs it: overshoot at
// both edges and a droop along each half. Rising edge at samples 1..3, falling
// edge at 525..527; extremes 0.93803 (sample 64) and -0.96605 (sample 580);
// mean about 0.00004.
extern const float squarevirus[kSquareVirusLen];

// Rising ramp, period samples per cycle: sample i = -1 + (i mod period) * 2 /
// (period - 1), so each cycle runs from -1 to exactly +1. period >= 2.
void generate_steady_saw(float* dest, int nbr_spl, int period);

// Square, period samples per cycle: the first half of each cycle -1, the
// second +1. period >= 2 and even.
void generate_steady_square(float* dest, int nbr_spl, int period);

// The squarevirus cycle repeated, scaled by 1.5979444 / 1.5 (peak about 1.03).
void generate_squarevirus(float* dest, int nbr_spl);

}  // namespace rspl
