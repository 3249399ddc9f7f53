#pragma once

#include <cstddef>

namespace tarvo {

/// Size of one stored program row: 22 little-endian single-precision
/// positions.
constexpr std::size_t kStoredDefaultBytes = 88;

/// Reads the user's stored default row, the only setting of its own the
/// plug-in keeps outside the host. On Windows it is the value "Default" under
/// HKEY_CURRENT_USER\Software\orlenaudio\Tarvo (any registry type); elsewhere
/// the file orlenaudio/Tarvo/Default under $XDG_CONFIG_HOME, or under
/// $HOME/.config when XDG_CONFIG_HOME is unset or empty. Only read, never
/// written.
///
/// Returns the number n of bytes found (0..88) and writes them to the front
/// of bytes; the rest of bytes is not touched. A missing key, file or value,
/// and a value longer than 88 bytes, give 0.
std::size_t readStoredDefault(unsigned char (&bytes)[kStoredDefaultBytes]) noexcept;

}  // namespace tarvo
