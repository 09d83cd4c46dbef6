// The keyboards the device ships in "Quillmar.kbb", for an input panel 240
// pixels wide and 80 high: lower-case letters (0), capitals that return to
// the letters after one key (1), and digits, signs and the arrow keys (2).
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> QuillmarKeyboards();
