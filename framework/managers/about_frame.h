#pragma once
// The About page: the program's title, a text about the program with links
// to its author's site and mail, and a label with the way back.
// The application manager fills it each time the page is shown and handles
// its links.

#include <QFrame>

class QLabel;
class TLinkEdit;

// The look of the labels that close a page: maroon, small, bold and italic.
void StyleCloseLabel(TLinkEdit& label);

class TAboutFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TAboutFrame(QWidget* parent = nullptr);

    QLabel* lbTitle;
    TLinkEdit* leInfos;
    TLinkEdit* leClose;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
