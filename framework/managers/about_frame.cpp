#include "framework/managers/about_frame.h"

#include "framework/widgets/link_edit.h"

#include <QLabel>

namespace {
constexpr int kMargin = 16;
constexpr int kTitleHeight = 40;
constexpr int kCloseWidth = 180;
constexpr int kCloseHeight = 40;
} // namespace

void StyleCloseLabel(TLinkEdit& label)
{
    label.setFrameShape(QFrame::NoFrame);
    label.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    label.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont font = label.font();
    font.setPointSize(8);
    font.setBold(true);
    font.setItalic(true);
    label.setFont(font);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Text, ColorToQColor(clMaroon));
    label.setPalette(palette);
}

TAboutFrame::TAboutFrame(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("AboutFrame"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    resize(520, 340);

    lbTitle = new QLabel(this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setAlignment(Qt::AlignCenter);
    QFont title = lbTitle->font();
    title.setPointSize(16);
    title.setBold(true);
    lbTitle->setFont(title);

    leInfos = new TLinkEdit(this);
    leInfos->setObjectName(QStringLiteral("leInfos"));
    leInfos->setFrameShape(QFrame::NoFrame);

    leClose = new TLinkEdit(this);
    leClose->setObjectName(QStringLiteral("leClose"));
    StyleCloseLabel(*leClose);
}

void TAboutFrame::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    lbTitle->setGeometry(kMargin, kMargin, width() - 2 * kMargin, kTitleHeight);
    const int infosTop = kMargin + kTitleHeight + 8;
    leInfos->setGeometry(kMargin, infosTop, width() - 2 * kMargin,
                         qMax(0, height() - infosTop - kCloseHeight - 2 * kMargin));
    leClose->setGeometry(width() - kCloseWidth - kMargin, height() - kCloseHeight - kMargin, kCloseWidth, kCloseHeight);
}
