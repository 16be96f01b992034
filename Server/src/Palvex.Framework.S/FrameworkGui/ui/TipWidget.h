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

// Translucent tip bubble with an arrow on its left edge, shown to the right
// of what it explains; its owner moves, shows and hides it. Its colours come
// from the skin's style sheet (the fill through qproperty-fillColor).
class CTipWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
public:
    explicit CTipWidget(QWidget* parent = nullptr);
    ~CTipWidget() override;

    // Sets the text; the bubble keeps its width and takes the height the text needs.
    void setText(const QString& text);
    QString text() const;

    // Fill of the bubble, drawn at alpha 216.
    QColor fillColor() const { return fill; }
    void setFillColor(const QColor& colour);
    // The bubble's outline for a widget of that size.
    static QPainterPath bubbleShape(const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::TipWidget> ui;
    QColor fill;
};

} // namespace serverframework
