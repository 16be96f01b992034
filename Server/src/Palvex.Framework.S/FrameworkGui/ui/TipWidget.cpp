#include "TipWidget.h"

#include <QLayout>
#include <QMargins>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRegion>

#include <algorithm>

#include "StyleSheet.h"
#include "ui_TipWidget.h"

namespace serverframework {

namespace {
const int kArrowWidth = 6;
const int kArrowHeight = 12;
const int kCornerRadius = 5;
const int kFillAlpha = 216;
const int kWidth = 260;
const int kMinHeight = 40;
} // namespace

CTipWidget::CTipWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::TipWidget)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->m_Label->setWordWrap(true);
    ui->m_Label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->m_Label->setText(QString());
    // Shown beside a field being typed into: it never takes the focus.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFillColor(QColor(0x1F, 0x23, 0x29)); // without a skin
    // A window of its own: the skin reaches it only when given here.
    setStyleSheet(skinStyleSheet());
    setText(QString());
}

CTipWidget::~CTipWidget() = default;

void CTipWidget::setText(const QString& text)
{
    ui->m_Label->setText(text);
    ensurePolished();
    const QMargins margins = layout()->contentsMargins();
    const int textWidth = kWidth - margins.left() - margins.right();
    setFixedSize(kWidth,
                 std::max(kMinHeight, ui->m_Label->heightForWidth(textWidth) + margins.top() + margins.bottom()));
    // Without a compositing manager the translucent corners would show
    // black: the window itself takes the bubble's shape.
    setMask(QRegion(bubbleShape(size()).toFillPolygon().toPolygon()));
}

QString CTipWidget::text() const
{
    return ui->m_Label->text();
}

void CTipWidget::setFillColor(const QColor& colour)
{
    fill = colour;
    fill.setAlpha(kFillAlpha);
    update();
}

// A rounded box with an arrow on its left edge, pointing left.
QPainterPath CTipWidget::bubbleShape(const QSize& size)
{
    const int w = size.width();
    const int h = size.height();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(kArrowWidth, 0, w - kArrowWidth, h), kCornerRadius, kCornerRadius, Qt::AbsoluteSize);
    const int t = (h - kArrowHeight) / 2;
    QPolygon arrow;
    arrow << QPoint(kArrowWidth, t) << QPoint(kArrowWidth, t + kArrowHeight) << QPoint(0, t + kArrowHeight / 2);
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
    painter.setBrush(QBrush(fill, Qt::SolidPattern));
    painter.drawPath(bubbleShape(size()));
}

} // namespace serverframework
