#include "DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tarvo::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeatsPerSecond = 2.0;  // 120 BPM
constexpr int kBeats = 16;               // four bars of 4/4

/// Noise in [-1, 1) from the minimal standard generator, whose output
/// sequence the C++ standard fixes.
class Noise {
public:
    double next() {
        return static_cast<double>(generator_() - std::minstd_rand::min()) /
                   static_cast<double>(std::minstd_rand::max() - std::minstd_rand::min()) * 2.0 -
               1.0;
    }

private:
    std::minstd_rand generator_{20240601u};
};

/// Adds a mono voice into the stereo buffer from `start` seconds on,
/// panned with gains (left, right).
template <typename Voice>
void addVoice(std::vector<double>& stereo, int rate, double start, double length, double left,
              double right, Voice&& voice) {
    const auto frames = static_cast<long>(stereo.size() / 2);
    const long first = static_cast<long>(std::lround(start * rate));
    const long count = static_cast<long>(length * rate);
    for (long i = 0; i < count && first + i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double sample = voice(t);
        stereo[static_cast<std::size_t>(2 * (first + i))] += left * sample;
        stereo[static_cast<std::size_t>(2 * (first + i) + 1)] += right * sample;
    }
}

}  // namespace

std::vector<double> synthesiseDemo(int sampleRate) {
    const double seconds = kBeats / kBeatsPerSecond;
    std::vector<double> stereo(static_cast<std::size_t>(seconds * sampleRate) * kDemoChannels, 0.0);
    Noise noise;
    const double beat = 1.0 / kBeatsPerSecond;

    for (int b = 0; b < kBeats; ++b) {
        const double at = b * beat;
        if (b % 2 == 0) {
            // Kick: a sine falling from 150 Hz to 45 Hz, with a short click.
            double phase = 0.0;
            addVoice(stereo, sampleRate, at, 0.45, 1.0, 1.0, [&](double t) {
                const double frequency = 45.0 + 105.0 * std::exp(-t / 0.03);
                phase += 2.0 * kPi * frequency / sampleRate;
                return std::sin(phase) * std::exp(-t / 0.16) + 0.3 * std::exp(-t / 0.002);
            });
        } else {
            // Snare: a 185 Hz body and a noise burst, the noise slightly
            // brightened by a first difference.
            double previous = 0.0;
            addVoice(stereo, sampleRate, at, 0.3, 0.9, 1.0, [&](double t) {
                const double white = noise.next();
                const double bright = white - 0.5 * previous;
                previous = white;
                return 0.5 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.05) +
                       0.45 * bright * std::exp(-t / 0.07);
            });
        }
        for (int half = 0; half < 2; ++half) {
            // Hi-hats: high-passed noise, alternating left and right.
            double previous = 0.0;
            const bool onLeft = half == 0;
            addVoice(stereo, sampleRate, at + half * beat / 2, 0.08, onLeft ? 0.8 : 0.4,
                     onLeft ? 0.4 : 0.8, [&](double t) {
                         const double white = noise.next();
                         const double high = white - previous;
                         previous = white;
                         return 0.12 * high * std::exp(-t / 0.015);
                     });
        }
    }

    // Bass: eighth notes of a sawtooth made of its first eight harmonics,
    // one root per bar (E1, G1, A1, D2).
    const double roots[] = {41.2034, 48.9994, 55.0, 73.4162};
    for (int eighth = 0; eighth < kBeats * 2; ++eighth) {
        const double frequency = roots[eighth / 8] * (eighth % 8 == 6 ? 2.0 : 1.0);
        addVoice(stereo, sampleRate, eighth * beat / 2, beat / 2 * 0.9, 1.0, 1.0, [&](double t) {
            double saw = 0.0;
            for (int h = 1; h <= 8; ++h) saw += std::sin(2.0 * kPi * h * frequency * t) / h;
            const double envelope = std::min(1.0, t / 0.005) * std::exp(-t / 0.4);
            return 0.35 * saw * envelope;
        });
    }

    double peak = 0.0;
    for (double sample : stereo) peak = std::max(peak, std::fabs(sample));
    const double gain = peak > 0.0 ? std::pow(10.0, -1.0 / 20.0) / peak : 0.0;
    for (double& sample : stereo) sample *= gain;
    return stereo;
}

}  // namespace tarvo::render
