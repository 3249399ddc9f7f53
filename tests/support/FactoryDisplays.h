#pragma once

// What a host's generic window shows after loading each factory program at
// 44100 Hz: parameters 0 to 15 per program, then the six that every program
// shows alike. Shared by the parameter layer's tests and the host-level tests.

namespace tarvo::test {

/// What the host shows for parameters 0 to 15 after loading each program at
/// 44100 Hz; 16 to 21 show "Off", "Off", "High", "Internal", "1:1", "Fast".
inline const char* const kShown[16][16] = {
    {"120", "-10.0", "Hard", "10.2", "109.5", "4.0", "0.0", "0.0", "0.0", "Off", "Stereo", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"111", "-27.3", "Hard", "13.0", "156.1", "5.6", "-3.6", "0.5", "4.0", "Off", "Mono-L", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"68", "-21.5", "Hard", "9.9", "147.9", "3.6", "-4.1", "4.4", "-2.8", "Off", "Mono-L", "1x", "Sigma", "0", "Pre", "Ratio"},
    {"118", "-22.8", "Hard", "12.3", "99.6", "3.4", "-4.2", "2.7", "2.9", "Off", "Stereo", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"134", "-22.7", "Soft", "1.0", "50.0", "3.2", "-7.8", "2.1", "-3.0", "Off", "2 Mono", "1x", "Sigma", "0", "Pre", "Ratio"},
    {"128", "-11.7", "Hard", "9.6", "111.1", "3.9", "-3.6", "0.2", "1.6", "Off", "Stereo", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"173", "-17.2", "0.5", "1.0", "268.3", "10.1", "0.0", "2.8", "2.4", "Off", "Mono-L", "1x", "Alpha", "0", "Pre", "Ratio"},
    {"120", "-30.0", "Soft", "1.0", "186.3", "1.8", "-12.0", "6.1", "-1.9", "Off", "Mono-L", "4x", "Alpha", "0", "Pre", "Ratio"},
    {"120", "-12.4", "Soft", "4.0", "109.5", "inf", "0.0", "0.5", "0.0", "Off", "Mono-L", "1x", "Alpha", "0", "Pre", "Ratio"},
    {"120", "-15.0", "Soft", "1.0", "115.6", "2.0", "-5.9", "4.0", "0.0", "Off", "Mono-L", "4x", "Alpha", "0", "Pre", "Ratio"},
    {"120", "-21.3", "Hard", "1.0", "109.5", "4.0", "-0.0", "4.4", "-1.9", "Off", "2 Mono", "1x", "Sigma", "0", "Pre", "Ratio"},
    {"Off", "-15.1", "Hard", "1.0", "109.5", "4.0", "0.0", "-0.3", "-2.2", "Off", "Mono-L", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"120", "-11.1", "0.0", "3.0", "66.0", "2.0", "0.0", "1.5", "-1.9", "Off", "Mono-L", "4x", "Alpha", "0", "Pre", "Ratio"},
    {"120", "-18.5", "0.6", "2.3", "150.0", "2.3", "0.0", "5.4", "0.0", "Off", "2 Mono", "4x", "Sigma", "0", "Pre", "Ratio"},
    {"Off", "-9.3", "Soft", "8.9", "82.0", "1.9", "-0.2", "0.2", "0.0", "Off", "Stereo", "4x", "Alpha", "0", "Pre", "Ratio"},
    {"Off", "-21.7", "Soft", "9.4", "83.4", "1.1", "-1.1", "2.1", "-1.3", "Off", "Stereo", "8x", "Alpha", "+6", "Post", "On"},
};
inline const char* const kCommonTail[6] = {"Off", "Off", "High", "Internal", "1:1", "Fast"};


/// The display of parameter 0..21 after loading program 0..15.
inline const char* factoryDisplay(int program, int parameter) {
    return parameter < 16 ? kShown[program][parameter] : kCommonTail[parameter - 16];
}

}  // namespace tarvo::test
