// A round signal lamp: a filled circle in the on-colour while lit, in the
// off-colour otherwise, with a thin rim and a soft highlight so it reads as a
// lamp even when its colour matches the panel behind it.
//
// Serves the crate and module status lamps of the top bar and the update
// lamps of the channel frames.
#pragma once

#include <QColor>
#include <QWidget>

class TLed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor onColor READ onColor WRITE setOnColor)
    Q_PROPERTY(QColor offColor READ offColor WRITE setOffColor)
    Q_PROPERTY(bool lit READ isLit WRITE setLit)

public:
    explicit TLed(QWidget* parent = nullptr);

    QColor onColor() const { return OnColor; }
    void setOnColor(const QColor& color);
    QColor offColor() const { return OffColor; }
    void setOffColor(const QColor& color);
    bool isLit() const { return Lit; }
    void setLit(bool lit);

    // The colour the lamp shows now: the on-colour when lit, else the off-colour.
    QColor shownColor() const { return Lit ? OnColor : OffColor; }

    QSize sizeHint() const override { return {16, 16}; }
    QSize minimumSizeHint() const override { return {8, 8}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor OnColor{0, 255, 0};
    QColor OffColor{255, 0, 0};
    bool Lit = false;
};
