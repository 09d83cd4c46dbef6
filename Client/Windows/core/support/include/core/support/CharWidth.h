// Width of characters on the session screen.
#pragma once

// Cells a character takes on the session screen: 0 for NUL and combining
// marks, -1 for control characters, 2 for wide (East Asian) characters, else 1.
int CharDisplayWidth(char16_t c);
