#pragma once
// The two-port dialog: new texts for the framework's HTTP and WebSocket
// ports. It checks only that neither is empty; its opener tests and writes
// them. The external-access block below them is shown by its check box and
// read by nobody.

#include "FramelessDrag.h"

#include <QDialog>
#include <QString>

#include <memory>

class QMouseEvent;

namespace Ui {
class EditPort;
}

namespace serverframework {

class CEditPort : public QDialog
{
    Q_OBJECT
public:
    explicit CEditPort(QWidget* parent = nullptr);
    ~CEditPort() override;

    void clearFields();
    void setPorts(const QString& http, const QString& webSocket);
    void getPorts(QString& http, QString& webSocket) const;

public slots:
    void onCloseDialog();
    void onModifyPort();
    void onEnableChecked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui::EditPort> ui;
    CFramelessDrag drag;
};

} // namespace serverframework
