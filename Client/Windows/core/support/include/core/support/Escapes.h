// Host escapes: "\n" LF, "\r" CR, "\t" TAB, "\\" backslash, "\<hex digits>" a
// character value. In the byte form hex digits run on without limit (the low
// byte is written) and the character that ends them is dropped; the wide form
// ends a hex escape after two digits and keeps the next character.
#pragma once

#include <cstdint>

void UnescapeBytes(uint8_t* bytes, int32_t* length);
void UnescapeWide(char16_t* text);  // zero-terminated, in place
