#include "StartupPortChooser.h"

#include "DialogPlacement.h"
#include "EditPortDlg.h"
#include "logical/CheckPort.h"

namespace serverframework {

bool CStartupPortChooser::choosePorts(Form form, const PortValues& shown, const QMap<int, bool>& claimed,
                                      PortValues& chosen)
{
    CEditPortDlg dialog(nullptr);
    dialog.setClaimedPorts(claimed);
    dialog.setPorts(shown);
    switch (form) {
    case Form::HttpOnly: dialog.setExternRowsVisible(false); break;
    case Form::Full:
        dialog.setExternIPAddress(QString::fromStdString(shown.externIPAddress));
        dialog.setExternEnabled(false);
        break;
    case Form::HttpEqualsTamsa: dialog.showHttpEqualsTamsaReason(); break;
    }
    if (form != Form::HttpEqualsTamsa) {
        const int http = shown[ServicePort::Http];
        QString holder;
        CCheckPort::instance().IsPortUsed(static_cast<unsigned int>(http), holder);
        dialog.showHttpPortHeldReason(http, holder);
    }
    placeDialog(&dialog, nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    chosen = dialog.shownValues();
    return true;
}

} // namespace serverframework
