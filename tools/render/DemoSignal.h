#pragma once

#include <vector>

namespace tarvo::render {

/// The demo's test signal: four bars of drums and bass at 120 beats per
/// minute (8 seconds), stereo, interleaved, peaking at -1 dBFS. Kick on
/// beats 1 and 3, snare on 2 and 4, hi-hats on every eighth note panned
/// left and right, and a bass line on eighth notes. Deterministic: the
/// noise comes from a fixed-seed std::minstd_rand.
std::vector<double> synthesiseDemo(int sampleRate);

constexpr int kDemoChannels = 2;
constexpr int kDemoSampleRate = 44100;

}  // namespace tarvo::render
