#include "DpiPolicy.h"

#include <QCoreApplication>

namespace serverframework {

bool wantsHighDpiScaling(const std::vector<platform::DisplaySize>& displays)
{
    for (const platform::DisplaySize& display : displays) {
        if (display.width <= 0 || display.height <= 0)
            continue;
        if (display.width < 1440 || display.height < 900)
            return false;
    }
    return true;
}

void applyHighDpiPolicy(const std::vector<platform::DisplaySize>& displays)
{
    if (!wantsHighDpiScaling(displays)) {
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling, true);
        return;
    }
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    platform::setProcessDpiUnaware();
}

} // namespace serverframework
