#pragma once

#include <string>

namespace tarvo::bench {

/// Renders a fixed signal through a plug-in library at a matrix of Tarvo
/// settings (every channel mode, factor, Fast and HQ, limiter position, the
/// scoop with a dry share, the external key, bypass, no dither, double
/// precision, the 16 programs, the Alpha detector) and prints one 64-bit
/// FNV-1a hash of the output samples per setting, then one over all of them. Two builds whose
/// lists are equal produce the same output to the last bit: the check that
/// a speed change changed no result. Instances are created in the same order
/// on every run, so the noise seeds (taken from a process-wide counter) match;
/// new settings therefore go at the end of the list.
/// Returns 0, or 1 if a setting could not be applied.
int printFingerprints(const std::string& pluginPath);

}  // namespace tarvo::bench
