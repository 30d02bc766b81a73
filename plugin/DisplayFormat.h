// Text formatters for parameter displays. Each writes at most maxLen
// characters plus a terminating zero (hosts give at least 9 bytes).
#pragma once

// "-oo" for x <= 0, else float2string(20 log10 x).
void dB2string(float value, char* text, int maxLen);
// Samples as milliseconds at the given rate.
void ms2string(float samples, float sampleRate, char* text, int maxLen);
// Sign, integer digits, a point and truncated fraction digits filling maxLen
// characters; "Huge!" outside -9999999..99999999.
void float2string(float value, char* text, int maxLen);
// Decimal digits without leading zeros: zero gives an empty text.
void int2string(long long value, char* text, int maxLen);
