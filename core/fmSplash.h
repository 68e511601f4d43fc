#pragma once

#include <QPointer>
#include <QWidget>

// The start-up picture: borderless, centred, closed by a key or a click; frees itself.
class TfmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfmSplash(QWidget* owner = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;
};

extern QPointer<TfmSplash> fmSplash;

// Closes fmSplash if it still exists.
void CloseSplash();
