// The helper libraries the base loads beside itself with their first use
// (Unicode data, image decoding, rich text), so that the base links no Qt.
#pragma once

namespace plat::loader {

// The entry symbol of the helper library of that file name in the base's
// folder; null when it cannot be loaded, with a line on standard error that
// ends in what is lost without it.
void* LoadBaseHelper(const char* library, const char* symbol, const char* without);

}  // namespace plat::loader
