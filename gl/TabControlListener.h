#pragma once

// Hears what the tab bar does with its tabs. Not owned by the bar; main thread only.
class TabControlListener
{
public:
    virtual ~TabControlListener() {}
    virtual void TabWillSwitch(int index, void* data) = 0;
    // index -1 (and data null) when no tab is left, or the switch was to an invalid index.
    virtual void TabSwitched(int index, void* data) = 0;
    virtual void TabClosed(int index, void* data) = 0;
};
