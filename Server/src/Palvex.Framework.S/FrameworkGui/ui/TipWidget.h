#pragma once

#include <QColor>
#include <QPainterPath>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class TipWidget;
}

class QPaintEvent;

namespace serverframework {

// Translucent tip bubble with an arrow on its right edge; its owner moves,
// shows and hides it.
class CTipWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CTipWidget(QWidget* parent = nullptr);
    ~CTipWidget() override;

    void setText(const QString& text);
    QString text() const;

    // Fill of the bubble (drawn at alpha 216 under white text).
    static QColor fillColor();
    // The bubble's outline for a widget of that size.
    static QPainterPath bubbleShape(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::TipWidget> ui;
};

} // namespace serverframework
