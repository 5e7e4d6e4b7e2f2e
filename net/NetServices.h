#pragma once
// What a socket or HTTP client takes from its surroundings: how names are looked up and which
// certificate authorities TLS trusts. Handed to each instance, so two clients in one process
// may differ (a test's resolver never leaks into another client).
#include "platform/HostLookup.h"

#include <string>

namespace tavimo {

struct NetServices {
  HostResolver Resolver;    // empty: the system's getaddrinfo
  std::string ExtraCaFile;  // PEM certificates trusted beside the system's; empty: system only
};

}  // namespace tavimo
