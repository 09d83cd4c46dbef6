// The discovery tests run in a network namespace of their own, entered
// before the first test: loopback up, the broadcast address routed to it.
#pragma once

#include <string>

namespace discoverytest {

bool NamespaceReady();
// Why the namespace could not be made.
const std::string& NamespaceFailure();

}  // namespace discoverytest
