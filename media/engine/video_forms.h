#pragma once
// The windows the video moves to besides its host: the full-screen plate
// and the preview window; and the bands painted around the video in a host.

#include <QWidget>

#include <functional>

class QLabel;
class QTimer;

// The black plate over a whole monitor, with the border shape the video
// sits in and a notice on how to leave.
class Tplaque final : public QWidget
{
    Q_OBJECT
public:
    Tplaque();

    // The shape around the video.
    QWidget* Shape() const { return FShape; }
    // "Alt+Enter to exit from Full Screen mode".
    QLabel* PanelQuit() const { return FPanelQuit; }
    std::function<void()> OnPanelQuitClick;

    void SetColor(const QColor& colour);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* FShape;
    QLabel* FPanelQuit;
};

// The separate window the video can be shown in.
class TPreviewForm final : public QWidget
{
    Q_OBJECT
public:
    TPreviewForm();

    std::function<void()> OnClose;
    // A move or resize has come to rest.
    std::function<void()> OnExitSizeMove;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTimer* FSizeMoveTimer;
};

// Paints, over its host, the band between the host's edge and the border
// around the video in the host's own colour, and the border itself; what is
// inside the border shows through.
class VideoBands final : public QWidget
{
    Q_OBJECT
public:
    explicit VideoBands(QWidget* host);

    // The video rectangle and the border's width and colour.
    void SetLayout(const QRect& video, int border, const QColor& colour);
    // Covers the whole host.
    void Fit();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect FVideo;
    int FBorder = 0;
    QColor FColour;
};
