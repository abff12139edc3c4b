#include "media/engine/video_forms.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace {

// Qt has no end of a move or resize; a pause this long stands for it.
constexpr int kSizeMoveRestMs = 300;

void fillColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The band between `outer` and `inner` as four strips.
void fillBand(QPainter& painter, const QRect& outer, const QRect& inner, const QColor& colour)
{
    const QRect strips[] = {
        QRect(QPoint(outer.left(), outer.top()), QPoint(outer.right(), inner.top() - 1)),
        QRect(QPoint(outer.left(), inner.bottom() + 1), QPoint(outer.right(), outer.bottom())),
        QRect(QPoint(outer.left(), inner.top()), QPoint(inner.left() - 1, inner.bottom())),
        QRect(QPoint(inner.right() + 1, inner.top()), QPoint(outer.right(), inner.bottom())),
    };
    for (const QRect& strip : strips) {
        if (strip.isValid())
            painter.fillRect(strip, colour);
    }
}

} // namespace

Tplaque::Tplaque() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    fillColour(this, Qt::black);
    FShape = new QWidget(this);
    FShape->setObjectName(QStringLiteral("Shape"));
    fillColour(FShape, Qt::lightGray);
    FPanelQuit = new QLabel(QStringLiteral("Alt+Enter to exit from Full Screen mode"), this);
    FPanelQuit->setObjectName(QStringLiteral("PanelQuit"));
    FPanelQuit->setAlignment(Qt::AlignCenter);
    FPanelQuit->setMargin(8);
    fillColour(FPanelQuit, QColor(Qt::white));
    FPanelQuit->adjustSize();
    FPanelQuit->move(16, 16);
    FPanelQuit->hide();
    FPanelQuit->installEventFilter(this);
}

void Tplaque::SetColor(const QColor& colour)
{
    fillColour(this, colour);
}

bool Tplaque::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FPanelQuit && event->type() == QEvent::MouseButtonRelease && OnPanelQuitClick) {
        OnPanelQuitClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

TPreviewForm::TPreviewForm() : QWidget(nullptr, Qt::Window)
{
    fillColour(this, Qt::black);
    FSizeMoveTimer = new QTimer(this);
    FSizeMoveTimer->setSingleShot(true);
    FSizeMoveTimer->setInterval(kSizeMoveRestMs);
    connect(FSizeMoveTimer, &QTimer::timeout, this, [this] {
        if (OnExitSizeMove)
            OnExitSizeMove();
    });
}

void TPreviewForm::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (OnClose)
        OnClose();
}

void TPreviewForm::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (isVisible())
        FSizeMoveTimer->start();
}

void TPreviewForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        FSizeMoveTimer->start();
}

VideoBands::VideoBands(QWidget* host) : QWidget(host)
{
    setObjectName(QStringLiteral("VideoBands"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    Fit();
}

void VideoBands::SetLayout(const QRect& video, int border, const QColor& colour)
{
    FVideo = video;
    FBorder = border;
    FColour = colour;
    Fit();
    update();
}

void VideoBands::Fit()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
}

void VideoBands::paintEvent(QPaintEvent*)
{
    if (!parentWidget() || FVideo.isEmpty())
        return;
    QPainter painter(this);
    const QRect framed = FVideo.adjusted(-FBorder, -FBorder, FBorder, FBorder);
    fillBand(painter, rect(), framed, parentWidget()->palette().color(parentWidget()->backgroundRole()));
    fillBand(painter, framed, FVideo, FColour);
}
