#include "capture/ui/FrameTimer.h"

FrameTimer::FrameTimer(FrameLoop& loop, std::function<ActivePage()> page, QObject* parent)
    : QObject(parent), loop_(loop), page_(std::move(page))
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &FrameTimer::Timer1Timer);
}

void FrameTimer::Timer1Timer() { loop_.Tick(page_ ? page_() : ActivePage::Other); }

void FrameTimer::WithTimerStopped(const std::function<void()>& attempt)
{
    const bool wasRunning = Timer1->isActive();
    Timer1->stop();
    if (attempt)
        attempt();
    if (wasRunning)
        Timer1->start();
}
