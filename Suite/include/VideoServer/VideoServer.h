#pragma once

// The suite's video server module.

namespace video {

int InitVideoServer();
int UnInitVideoServer();

} // namespace video
