#pragma once
// What the web client's page lists of the host: its product name and every
// port of the port table as the services were started on it, with the moves
// of the start and who held the ports they left.

#include <string>

namespace serverframework {

// Hands the list to the framework library; called once the services are up.
void publishHostServices(const std::string& productName);

} // namespace serverframework
