#pragma once

// The suite's device-manager server module.

namespace devmgr {

int InitDeviceManagerServer();
int UnInitDeviceManagerServer();

} // namespace devmgr
