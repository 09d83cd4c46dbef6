// The host's call of a device library's function by name (the dial-up and
// radio toolkit calls): the function's name decides how the text arguments
// are passed (as texts, numbers or flags).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// At most this many arguments, sharing kLibraryCallUnits wide characters
// with their end marks.
constexpr size_t kLibraryCallArguments = 16;
constexpr size_t kLibraryCallUnits = 2048;

// 0 when the function was called (its result is not used; the library stays
// loaded), -1 when the library or the function is missing, the arguments do
// not fit the function, or the call faulted.
int32_t CallLibraryFunction(std::u16string_view library, std::u16string_view function,
                            const std::vector<std::u16string>& arguments);
