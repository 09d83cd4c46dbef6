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

// Prepares the device root as an installation would (first removing the
// temporary files of writes cut short, when no other program writes there): the client's package
// "OrvadeClient.tar" of installDir (the machine directory of the installed
// files) is installed into the program folder, with its setup library's
// hooks, on the first start and whenever it is newer than the installation;
// without a package the files the program folder needs are copied where
// they are missing. An empty hosts file is made when there is none. False
// when something could not be written.
bool PrepareDevice(const std::string& installDir);

}  // namespace launchwick
