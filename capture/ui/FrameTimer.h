#pragma once
// `Timer1`: the 100 ms timer that drives the frame loop. Disabled until a
// camera is connected; the marking attempt stops it while it works and
// starts it again.

#include <QObject>
#include <QTimer>
#include <functional>

#include "capture/FrameLoop.h"

class FrameTimer : public QObject {
    Q_OBJECT
public:
    // `page` says which wizard page is active at each tick.
    FrameTimer(FrameLoop& loop, std::function<ActivePage()> page, QObject* parent = nullptr);

    QTimer* Timer1 = nullptr;

    void Enable() { Timer1->start(); }
    void Disable() { Timer1->stop(); }
    bool Enabled() const { return Timer1->isActive(); }

    // Runs `attempt` with the timer stopped, then starts it again (when it ran before).
    void WithTimerStopped(const std::function<void()>& attempt);

public slots:
    void Timer1Timer();

private:
    FrameLoop& loop_;
    std::function<ActivePage()> page_;
};
