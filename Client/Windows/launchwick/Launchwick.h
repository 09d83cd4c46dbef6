// The launcher: registers the component libraries, creates the shell object
// of "Panthos.dll" and hands the thread to it until the shell quits; and the
// first-start preparation of a device root.
#pragma once

#include <string>
#include <string_view>

namespace launchwick {

// The launcher's work for a command line: "auto" (any case) first waits
// 10 seconds. Always 0, as the program's exit code.
int Run(std::u16string_view commandLine);

// Puts into the device root what an installation gives the program folder,
// each file only where it is missing: the resource library, the settings
// catalog, the extension libraries in their folders and an empty hosts file.
// installDir is the machine directory of the installed files. False when a
// file could not be written.
bool PrepareDevice(const std::string& installDir);

}  // namespace launchwick
