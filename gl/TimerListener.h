#pragma once

class TimerListener
{
public:
    virtual ~TimerListener() {}
    virtual void TimerElapsed() = 0;
};
