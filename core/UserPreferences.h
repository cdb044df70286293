#pragma once

#include "core/UserPreferencesListener.h"

#include <string>
#include <vector>

class DefaultsStore;

// The process-wide settings store. Settings live in the per-user defaults store under their keys; the
// registered defaults answer for keys the user never set. Setters write at once; the Save and Update
// operations also synchronise the store to disk. Main thread only.
class UserPreferences
{
public:
    // The process instance, made and initialised from the installed defaults store on the first call.
    static UserPreferences* GetPreferences();
    // Drops the process instance (and its listeners) so that the next GetPreferences reads the installed
    // store afresh: for tests and tools that switch stores.
    static void ResetPreferences();

    // An instance over a given store, which must outlive it; null means the store installed in
    // PlatformHooks, looked up on every access. Initialises at once.
    explicit UserPreferences(DefaultsStore* store);
    UserPreferences(const UserPreferences&) = delete;
    UserPreferences& operator=(const UserPreferences&) = delete;

    // Null and duplicate listeners are ignored; notification follows registration order.
    void AddListener(UserPreferencesListener* listener);
    void RemoveListener(UserPreferencesListener* listener);
    void NotifyListeners(int code);
    // Registers the defaults and reads every setting that is held in memory.
    void Initialize();
    bool IsInitialized() const { return initialized; }

    // Setters change nothing (and notify nobody) when the value is already in force.
    void SetAutoRotate(bool on);     // notifies PREF_AUTO_ROTATE
    void SetFasterDrawing(bool on);  // notifies PREF_FASTER_DRAWING
    void SetVSync(bool on);          // notifies PREF_VSYNC
    void SetNumSamples(int samples); // notifies PREF_NUM_SAMPLES
    void SetBookmarkAnimationSpeed(float seconds);
    void SetAutoVersionCheck(bool on);

    bool GetAutoRotate() const { return autoRotate; }
    bool GetFasterDrawing() const { return fasterDrawing; }
    bool GetVSync() const { return vsync; }
    bool GetVolumeRenderingActive() const { return volumeRendering; }
    bool GetAutoVersionCheck() const { return autoVersionCheck; }
    bool GetPerspectiveProjection() const { return perspectiveProjection; }
    // The server base URL: scheme and host without a trailing slash.
    const std::string& GetHostName() const { return hostName; }
    const std::string& GetAtlasListURL() const { return atlasListURL; }
    const std::string& GetUserAgent() const { return userAgent; }
    // The UserAtlasPath setting as stored (empty when not set).
    const std::string& GetUserAtlasPath() const { return userAtlasPath; }
    int GetNumSamples() const { return numSamples; }
    // 0 means the volume renderer's own limit.
    unsigned int GetVolumeTextureLimit() const { return volumeTextureLimit; }
    float GetBookmarkAnimationSpeed() const { return bookmarkAnimationSpeed; }
    int GetLastVersionRun() const { return lastVersionRun; }
    const std::string& GetVersion() const { return version; }
    int GetBuildNumber() const { return buildNumber; }

    // The largest multisample count the graphics hardware offers; found by the GL view, never stored.
    void SetMaxNumSamples(int samples) { maxNumSamples = samples; }
    int GetMaxNumSamples() const { return maxNumSamples; }

    void LoadSettings(int& compassLocation, int& toolMode, int& imageAlpha, int& annotationAlpha, int& meshDisplayStyle,
                      int& geneColorMode, int& thresholdControlsVisible) const;
    void SaveSettings(int compassLocation, int toolMode, int imageAlpha, int annotationAlpha, int meshDisplayStyle,
                      int geneColorMode, int thresholdControlsVisible);
    void LoadViewSettings(int& ontologyViewMode, bool& expanded, bool& imageControlsVisible) const;
    void SaveViewSettings(int ontologyViewMode, bool expanded, bool imageControlsVisible);

    // True when automatic checks are on and the last check is missing, unreadable or over a week old.
    bool ShouldQueryVersion() const;
    // Stores the current local time, ISO 8601 with its UTC offset, and synchronises.
    void UpdateVersionQueryDate();
    // Stores the build number as the last version run and synchronises.
    void UpdateLastVersionRun();

    // The server base URL built into the program.
    static const char* const DEFAULT_HOST;

private:
    DefaultsStore& Store() const;
    std::string RegisteredDefault(const std::string& key) const;
    bool ReadBool(const std::string& key) const;
    int ReadInt(const std::string& key) const;
    float ReadFloat(const std::string& key) const;
    std::string ReadString(const std::string& key) const;
    void WriteBool(const std::string& key, bool value);
    void WriteInt(const std::string& key, int value);

    DefaultsStore* store;
    std::vector<UserPreferencesListener*> listeners;
    bool autoRotate = true;
    bool fasterDrawing = false;
    bool initialized = false;
    bool vsync = true;
    bool volumeRendering = false;
    bool autoVersionCheck = true;
    bool perspectiveProjection = false;
    std::string hostName;
    std::string atlasListURL;
    std::string userAgent;
    std::string userAtlasPath;
    int numSamples = 0;
    unsigned int volumeTextureLimit = 0;
    float bookmarkAnimationSpeed = 2.0f;
    int lastVersionRun = 0;
    std::string version = "1.0";
    int buildNumber = 1;
    int maxNumSamples = 0;
};
