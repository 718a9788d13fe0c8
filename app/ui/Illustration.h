#pragma once
// The drawn pictures of the first two pages and the two picture buttons.

#include <QPixmap>
#include <QWidget>

enum class IllustrationKind { Welcome, CameraWaiting, DemoIcon, TutorialIcon, HelpIcon };

QPixmap PaintIllustration(IllustrationKind kind, QSize size);

class Illustration final : public QWidget {
public:
    Illustration(IllustrationKind kind, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {640, 480}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    IllustrationKind kind_;
};
