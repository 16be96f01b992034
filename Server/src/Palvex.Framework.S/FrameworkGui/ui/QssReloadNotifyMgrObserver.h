#pragma once

#include <string>

#include "BaseObserver.h"

namespace comm_method {

// Told, on the base library's notification thread, that the skin changed and
// style sheets should be reloaded. Widgets must hand the work to the main
// thread (for instance through a queued signal).
class IQssReloadNotifyMgrObserver : public kestcore::IBaseObserver
{
public:
    struct Param
    {
        std::string skinName;
    };

    virtual void OnQssReload(const Param& param) = 0;
};

} // namespace comm_method
