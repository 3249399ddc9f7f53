#pragma once

namespace tarvo {

/// The gain computer's power table: row i belongs to the ratio
/// r = 1.1 + 0.1*i (i = 0 .. 98) and holds p0 .. p8 of a degree-8 polynomial
/// P_i(y) approximating y^(1/r) on 0 <= y <= L_i, then L_i (about 5.9,
/// +15.4 dB, decreasing with the row). Rows 0, 9 and 98 are fixed reference
/// data; the others come from tools/gaincomputer/generate_power_table.py.
constexpr int kGainComputerTableRows = 99;
extern const double kGainComputerPowerTable[kGainComputerTableRows][10];

}  // namespace tarvo
