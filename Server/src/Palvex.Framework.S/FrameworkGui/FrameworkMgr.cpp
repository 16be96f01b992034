#include "FrameworkMgr.h"

namespace serverframework {

CFrameworkMgr::CFrameworkMgr(QWidget* parent)
    : QDialog(parent)
{
}

CFrameworkMgr::~CFrameworkMgr() = default;

} // namespace serverframework
