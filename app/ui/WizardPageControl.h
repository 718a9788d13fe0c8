#pragma once
// A tab widget whose tabs only show where the user is: clicking a tab, the
// wheel over the tabs and Ctrl+Tab ask `changing`, which refuses.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>
#include <functional>

class WizardTabBar final : public QTabBar {
public:
    explicit WizardTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}
    std::function<bool()> changing;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        int tab = tabAt(e->position().toPoint());
        if (tab >= 0 && tab != currentIndex() && e->button() == Qt::LeftButton) {
            if (!changing || !changing())
                return;
        }
        QTabBar::mousePressEvent(e);
    }
    void wheelEvent(QWheelEvent* e) override { e->accept(); }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right || e->key() == Qt::Key_Home ||
            e->key() == Qt::Key_End) {
            if (changing)
                changing();
            return;
        }
        QTabBar::keyPressEvent(e);
    }
};

class WizardPageControl final : public QTabWidget {
public:
    explicit WizardPageControl(QWidget* parent = nullptr) : QTabWidget(parent)
    {
        bar_ = new WizardTabBar(this);
        setTabBar(bar_);
    }
    void SetChanging(std::function<bool()> f) { bar_->changing = std::move(f); }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        bool ctrlTab = (e->modifiers() & Qt::ControlModifier) &&
                       (e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab || e->key() == Qt::Key_PageUp ||
                        e->key() == Qt::Key_PageDown);
        if (ctrlTab) {
            if (bar_->changing)
                bar_->changing();
            return;
        }
        QTabWidget::keyPressEvent(e);
    }

private:
    WizardTabBar* bar_;
};
