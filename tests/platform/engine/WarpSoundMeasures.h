#pragma once

// Measurements of how the warp paths sound, shared by the engine tests and the warp-sound
// benchmark: THD+N and pitch from a windowed DFT, the level envelope, onset timing on a click
// train, and the joins of seeks and loop wraps made while playing through the real graph.

#include "tests/support/GeneratedAudio.h"

#include <complex>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tindrel::test {

struct WarpMode {
    const char* name;
    float overlap;
    float rate;
    float cents;
};

// In-place radix-2 FFT; the size is a power of two.
void fft(std::vector<std::complex<double>>& a);

// Renders `frames` frames (channel 0) of `signal` played from its start in `mode`.
std::vector<float> renderWarped(const Signal& signal, const WarpMode& mode, size_t frames);

// Everything but `tones` over 65536 frames from `begin` (4-term Blackman-Harris window),
// relative to the tones, in dB.
double thdPlusNoiseDb(const std::vector<float>& x, size_t begin,
                      std::initializer_list<double> tones, double sampleRate);
// How far the strongest peak near `expected` Hz lies from it, in cents.
double pitchErrorCents(const std::vector<float>& x, size_t begin, double expected,
                       double sampleRate);
// The quietest 10 ms RMS against the median one over [begin, begin + count), in dB (<= 0).
double envelopeDipDb(const std::vector<float>& x, size_t begin, size_t count, double sampleRate);

// Bursts of 30 ms of noise at -6 dBFS every 250 ms from 0.25 s; silence between.
Signal clickTrainSignal(double seconds);
struct OnsetTiming {
    double worstOnsetMs = 0;      // largest |output onset - burst start / rate|
    double worstPreEchoDb = -200; // loudest 30..10 ms before a burst against the burst
};
OnsetTiming clickTrainTiming(const std::vector<float>& out, double rate, double sampleRate);

// Plays a 1 kHz sine at -6 dBFS (at `sampleRate` with `channels`) in `mode` and jumps every
// 0.3 s heard: back to a loop start (`wrap`) or to places of every phase, with the player
// scheduled while playing.
struct JoinMeasure {
    double ownStep = 0;              // the tone's largest sample step away from the joins
    double worstStep = 0;            // the largest step around a join
    double level = 0;                // the tone's RMS away from the joins
    double lowestLevel = 0;          // the lowest 10 ms RMS around a join
    double lowestLevelUntilNext = 0; // the lowest 10 ms RMS from a join until the next
    double ownHighDb = 0;            // the tone's own share above 3 kHz away from the joins, dB
    double worstHighDb = 0;          // the largest share above 3 kHz over 2048 frames at a join, dB
    double playheadBehind = 0;       // most the playhead lags what played since a join, frames
    double playheadAhead = 0;        // most it leads it, frames
};
JoinMeasure measureJoins(const WarpMode& mode, bool wrap, double sampleRate = 44100,
                         int channels = 2);

} // namespace tindrel::test
