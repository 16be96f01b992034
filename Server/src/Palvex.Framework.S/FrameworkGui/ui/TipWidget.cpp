#include "TipWidget.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "ui_TipWidget.h"

namespace serverframework {

namespace {
const int kArrowWidth = 6;
const int kArrowHeight = 12;
const int kCornerRadius = 5;
const int kFillAlpha = 216;
} // namespace

CTipWidget::CTipWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::TipWidget)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->m_Label->setWordWrap(true);
    ui->m_Label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui->m_Label->adjustSize();
    ui->m_Label->setText(QString());
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setFixedSize(240, 80);
    // Without a compositing manager the translucent corners would show
    // black: the window itself takes the bubble's shape.
    setMask(QRegion(bubbleShape(size()).toFillPolygon().toPolygon()));
}

CTipWidget::~CTipWidget() = default;

void CTipWidget::setText(const QString& text)
{
    ui->m_Label->setText(text);
}

QString CTipWidget::text() const
{
    return ui->m_Label->text();
}

QColor CTipWidget::fillColor()
{
    // A dark slate blue: readable under white text in every skin.
    QColor colour(0x1F, 0x23, 0x29);
    colour.setAlpha(kFillAlpha);
    return colour;
}

// A rounded box with an arrow on its right edge, pointing right.
QPainterPath CTipWidget::bubbleShape(const QSize& size)
{
    const int w = size.width();
    const int h = size.height();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, w - kArrowWidth, h), kCornerRadius, kCornerRadius, Qt::AbsoluteSize);
    const int t = (h - kArrowHeight) / 2;
    QPolygon arrow;
    arrow << QPoint(w - kArrowWidth, t) << QPoint(w - kArrowWidth, t + kArrowHeight)
          << QPoint(w, t + kArrowHeight / 2);
    QPainterPath tip;
    tip.addPolygon(arrow);
    tip.closeSubpath();
    return shape.united(tip);
}

void CTipWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(fillColor(), Qt::SolidPattern));
    painter.drawPath(bubbleShape(size()));
}

} // namespace serverframework
