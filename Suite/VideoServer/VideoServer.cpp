#include "VideoServer/VideoServer.h"

#include "Base/Log.h"

namespace video {

int InitVideoServer()
{
    TLOG_INFO("video server started");
    return 0;
}

int UnInitVideoServer()
{
    TLOG_INFO("video server stopped");
    return 0;
}

} // namespace video
