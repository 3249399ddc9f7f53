#pragma once

#include <string>

namespace tarvo::bench {

/// Drives two builds of the plug-in side by side, the way a host drives an
/// automated session: one instance of each (the first of its library, so
/// both get the same noise seeds), 44100 Hz, blocks of random length (1 to
/// 700 frames), a random parameter moved to a random position before about
/// one block in three (every mode, factor, key, bypass and limiter
/// position comes and goes mid-stream), and a four-channel noise whose
/// stretches silence the left pair, the right pair, everything or the key,
/// or make both sides equal, so that strips fall asleep and wake apart and
/// together. Float and double blocks alternate by seed. Prints the first
/// output sample that differs in its bits, with the parameter changes that
/// led to it, or that the runs were identical. The complement of the
/// fingerprint, whose settings never change mid-signal. Returns 0 if all
/// `seeds` runs were identical, 1 otherwise.
int compareUnderAutomation(const std::string& pluginA, const std::string& pluginB, int seeds);

}  // namespace tarvo::bench
