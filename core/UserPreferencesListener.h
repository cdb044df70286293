#pragma once

// What a listener hears from UserPreferences: the setting that changed.
enum PreferenceChangeCode
{
    PREF_AUTO_ROTATE = 1,
    PREF_NUM_SAMPLES = 2,
    PREF_FASTER_DRAWING = 3,
    PREF_VSYNC = 4
};

// Implemented by renderers and views that follow display settings. Not owned by the preferences.
class UserPreferencesListener
{
public:
    virtual ~UserPreferencesListener() = default;
    virtual void PreferenceChanged(int code) = 0;
};
