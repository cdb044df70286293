#include "core/UserPreferences.h"

#include "core/DefaultsStore.h"
#include "core/ISODate.h"
#include "core/OSRelease.h"
#include "core/PlatformHooks.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <ctime>
#include <map>

const char* const UserPreferences::DEFAULT_HOST = "http://127.0.0.1:8470";

namespace
{

const char* const KEY_AUTO_ROTATE = "AutoRotateView";
const char* const KEY_FASTER_DRAWING = "FasterLowerQualityExpressorDrawing";
const char* const KEY_VSYNC = "VerticalSync";
const char* const KEY_VOLUME_RENDERING = "VolumeRenderingActive";
const char* const KEY_MULTISAMPLE = "Multisample";
const char* const KEY_BOOKMARK_SPEED = "BookmarkAnimationSpeed";
const char* const KEY_COMPASS_LOCATION = "CompassLocation";
const char* const KEY_TOOL_MODE = "ToolMode";
const char* const KEY_IMAGE_ALPHA = "ImageAlpha";
const char* const KEY_ANNOTATION_ALPHA = "AnnotationAlpha";
const char* const KEY_MESH_DISPLAY_STYLE = "MeshDisplayStyle";
const char* const KEY_GENE_COLOR_MODE = "GeneColorMode";
const char* const KEY_THRESHOLD_CONTROLS = "GeneTresholdControlsVisible";
const char* const KEY_HOST = "Host";
const char* const KEY_EXPANDED_DISPLAY = "ExpandedDisplayMode";
const char* const KEY_IMAGE_CONTROLS = "ImageControlsVisible";
const char* const KEY_ONTOLOGY_VIEW_MODE = "OntologyViewMode";
const char* const KEY_ONTOLOGY_ALPHABETICAL = "OntologyAlphabetical";
const char* const KEY_LAST_VERSION_CHECK = "LastVersionCheck";
const char* const KEY_LAST_VERSION_RUN = "LastVersionRun";
const char* const KEY_AUTO_VERSION_CHECK = "AutomaticVersionCheck";
const char* const KEY_USER_ATLAS_PATH = "UserAtlasPath";

const long VERSION_CHECK_INTERVAL = 604800; // one week, in seconds

// What a key reads as while the user has not set it. OntologyAlphabetical is deliberately absent: it is
// an older key that only counts when the user's store still holds it.
const std::map<std::string, std::string>& RegisteredDefaults()
{
    static const std::map<std::string, std::string> defaults = {
        {KEY_AUTO_ROTATE, "YES"},
        {KEY_FASTER_DRAWING, "NO"},
        {KEY_VSYNC, "YES"},
        {KEY_VOLUME_RENDERING, "NO"},
        {KEY_MULTISAMPLE, "0"},
        {KEY_BOOKMARK_SPEED, "2.0"},
        {KEY_COMPASS_LOCATION, "0"},
        {KEY_TOOL_MODE, "2"},
        {KEY_IMAGE_ALPHA, "50"},
        {KEY_ANNOTATION_ALPHA, "15"},
        {KEY_MESH_DISPLAY_STYLE, "0"},
        {KEY_GENE_COLOR_MODE, "2"},
        {KEY_THRESHOLD_CONTROLS, "1"},
        {KEY_HOST, ""},
        {KEY_EXPANDED_DISPLAY, "NO"},
        {KEY_IMAGE_CONTROLS, "NO"},
        {KEY_ONTOLOGY_VIEW_MODE, "1"},
        {KEY_LAST_VERSION_CHECK, ""},
        {KEY_LAST_VERSION_RUN, "0"},
        {KEY_AUTO_VERSION_CHECK, "YES"},
        {KEY_USER_ATLAS_PATH, ""},
    };
    return defaults;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Locale-independent number reading: a settings file must mean the same in every locale.
bool ParseDouble(const std::string& raw, double& value)
{
    std::string text = Trim(raw);
    if (!text.empty() && text[0] == '+')
        text.erase(0, 1);
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

bool ParseInt(const std::string& raw, int& value)
{
    std::string text = Trim(raw);
    if (!text.empty() && text[0] == '+')
        text.erase(0, 1);
    if (text.empty())
        return false;
    long long wide = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), wide);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size())
    {
        if (wide < INT_MIN || wide > INT_MAX)
            return false;
        value = static_cast<int>(wide);
        return true;
    }
    // A number written with a fraction still counts, truncated, as integer readers do.
    double real = 0;
    if (!ParseDouble(text, real) || real < INT_MIN || real > INT_MAX)
        return false;
    value = static_cast<int>(real);
    return true;
}

bool ParseBool(const std::string& raw, bool& value)
{
    const std::string text = Lower(Trim(raw));
    if (text == "yes" || text == "true")
        value = true;
    else if (text == "no" || text == "false")
        value = false;
    else
    {
        int number = 0;
        if (!ParseInt(text, number))
            return false;
        value = number != 0;
    }
    return true;
}

std::string FormatFloat(float value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

UserPreferences* instance = nullptr;

} // namespace

UserPreferences* UserPreferences::GetPreferences()
{
    // Never destroyed: listeners and late callers may reach it during process exit.
    if (!instance)
        instance = new UserPreferences(nullptr);
    return instance;
}

void UserPreferences::ResetPreferences()
{
    delete instance;
    instance = nullptr;
}

UserPreferences::UserPreferences(DefaultsStore* store)
    : store(store)
    , hostName(DEFAULT_HOST)
{
    Initialize();
    atlasListURL = hostName + "/Corvane2/atlases.xml";
}

DefaultsStore& UserPreferences::Store() const
{
    return store ? *store : PlatformHooks::GetDefaultsStore();
}

void UserPreferences::AddListener(UserPreferencesListener* listener)
{
    if (!listener || std::find(listeners.begin(), listeners.end(), listener) != listeners.end())
        return;
    listeners.push_back(listener);
}

void UserPreferences::RemoveListener(UserPreferencesListener* listener)
{
    if (!listener)
        return;
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

void UserPreferences::NotifyListeners(int code)
{
    // A listener may unregister itself or others while being told; tell those still registered.
    const std::vector<UserPreferencesListener*> snapshot = listeners;
    for (UserPreferencesListener* listener : snapshot)
        if (std::find(listeners.begin(), listeners.end(), listener) != listeners.end())
            listener->PreferenceChanged(code);
}

void UserPreferences::Initialize()
{
    initialized = true;
    autoRotate = ReadBool(KEY_AUTO_ROTATE);
    fasterDrawing = ReadBool(KEY_FASTER_DRAWING);
    vsync = ReadBool(KEY_VSYNC);
    volumeRendering = ReadBool(KEY_VOLUME_RENDERING);
    autoVersionCheck = ReadBool(KEY_AUTO_VERSION_CHECK);
    lastVersionRun = ReadInt(KEY_LAST_VERSION_RUN);
    bookmarkAnimationSpeed = std::clamp(ReadFloat(KEY_BOOKMARK_SPEED), 0.0f, 10.0f);

    const int samples = ReadInt(KEY_MULTISAMPLE);
    if (samples < 0)
        SetNumSamples(0);
    else
        numSamples = samples;

    std::string host = ReadString(KEY_HOST);
    // URLs are built as host + "/path": a trailing slash in the setting would double it.
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    if (!host.empty())
        hostName = host;
    const std::string atlasPath = ReadString(KEY_USER_ATLAS_PATH);
    if (!atlasPath.empty())
        userAtlasPath = atlasPath;

    version = CORVANE_VERSION;
    buildNumber = CORVANE_BUILD_NUMBER;
    userAgent = "Corvane/" + version + " (Linux " + GetOSVersion() + ") CV/" + std::to_string(buildNumber);
}

std::string UserPreferences::RegisteredDefault(const std::string& key) const
{
    const auto& defaults = RegisteredDefaults();
    const auto found = defaults.find(key);
    return found == defaults.end() ? std::string() : found->second;
}

bool UserPreferences::ReadBool(const std::string& key) const
{
    bool value = false;
    if (Store().HasValue(key) && ParseBool(Store().GetValue(key), value))
        return value;
    ParseBool(RegisteredDefault(key), value);
    return value;
}

int UserPreferences::ReadInt(const std::string& key) const
{
    int value = 0;
    if (Store().HasValue(key) && ParseInt(Store().GetValue(key), value))
        return value;
    if (!ParseInt(RegisteredDefault(key), value))
        value = 0;
    return value;
}

float UserPreferences::ReadFloat(const std::string& key) const
{
    double value = 0;
    if (Store().HasValue(key) && ParseDouble(Store().GetValue(key), value))
        return static_cast<float>(std::clamp(value, -1e30, 1e30));
    if (!ParseDouble(RegisteredDefault(key), value))
        value = 0;
    return static_cast<float>(value);
}

std::string UserPreferences::ReadString(const std::string& key) const
{
    return Store().HasValue(key) ? Store().GetValue(key) : RegisteredDefault(key);
}

void UserPreferences::WriteBool(const std::string& key, bool value)
{
    Store().SetValue(key, value ? "true" : "false");
}

void UserPreferences::WriteInt(const std::string& key, int value)
{
    Store().SetValue(key, std::to_string(value));
}

void UserPreferences::SetAutoRotate(bool on)
{
    if (on == autoRotate)
        return;
    autoRotate = on;
    WriteBool(KEY_AUTO_ROTATE, on);
    NotifyListeners(PREF_AUTO_ROTATE);
}

void UserPreferences::SetFasterDrawing(bool on)
{
    if (on == fasterDrawing)
        return;
    fasterDrawing = on;
    WriteBool(KEY_FASTER_DRAWING, on);
    NotifyListeners(PREF_FASTER_DRAWING);
}

void UserPreferences::SetVSync(bool on)
{
    if (on == vsync)
        return;
    vsync = on;
    WriteBool(KEY_VSYNC, on);
    NotifyListeners(PREF_VSYNC);
}

void UserPreferences::SetNumSamples(int samples)
{
    if (samples == numSamples)
        return;
    numSamples = samples;
    WriteInt(KEY_MULTISAMPLE, samples);
    NotifyListeners(PREF_NUM_SAMPLES);
}

void UserPreferences::SetBookmarkAnimationSpeed(float seconds)
{
    if (seconds == bookmarkAnimationSpeed)
        return;
    bookmarkAnimationSpeed = seconds;
    Store().SetValue(KEY_BOOKMARK_SPEED, FormatFloat(seconds));
}

void UserPreferences::SetAutoVersionCheck(bool on)
{
    if (on == autoVersionCheck)
        return;
    autoVersionCheck = on;
    WriteBool(KEY_AUTO_VERSION_CHECK, on);
}

void UserPreferences::LoadSettings(int& compassLocation, int& toolMode, int& imageAlpha, int& annotationAlpha,
                                   int& meshDisplayStyle, int& geneColorMode, int& thresholdControlsVisible) const
{
    compassLocation = ReadInt(KEY_COMPASS_LOCATION);
    toolMode = ReadInt(KEY_TOOL_MODE);
    imageAlpha = ReadInt(KEY_IMAGE_ALPHA);
    annotationAlpha = ReadInt(KEY_ANNOTATION_ALPHA);
    meshDisplayStyle = ReadInt(KEY_MESH_DISPLAY_STYLE);
    geneColorMode = ReadInt(KEY_GENE_COLOR_MODE);
    thresholdControlsVisible = ReadInt(KEY_THRESHOLD_CONTROLS);
}

void UserPreferences::SaveSettings(int compassLocation, int toolMode, int imageAlpha, int annotationAlpha,
                                   int meshDisplayStyle, int geneColorMode, int thresholdControlsVisible)
{
    WriteInt(KEY_COMPASS_LOCATION, compassLocation);
    WriteInt(KEY_TOOL_MODE, toolMode);
    WriteInt(KEY_IMAGE_ALPHA, imageAlpha);
    WriteInt(KEY_ANNOTATION_ALPHA, annotationAlpha);
    WriteInt(KEY_MESH_DISPLAY_STYLE, meshDisplayStyle);
    WriteInt(KEY_GENE_COLOR_MODE, geneColorMode);
    WriteInt(KEY_THRESHOLD_CONTROLS, thresholdControlsVisible);
    Store().Synchronize();
}

void UserPreferences::LoadViewSettings(int& ontologyViewMode, bool& expanded, bool& imageControlsVisible) const
{
    if (Store().HasValue(KEY_ONTOLOGY_VIEW_MODE))
        ontologyViewMode = ReadInt(KEY_ONTOLOGY_VIEW_MODE);
    else
        ontologyViewMode = ReadBool(KEY_ONTOLOGY_ALPHABETICAL) ? 0 : 1;
    expanded = ReadBool(KEY_EXPANDED_DISPLAY);
    imageControlsVisible = ReadBool(KEY_IMAGE_CONTROLS);
}

void UserPreferences::SaveViewSettings(int ontologyViewMode, bool expanded, bool imageControlsVisible)
{
    WriteInt(KEY_ONTOLOGY_VIEW_MODE, ontologyViewMode);
    WriteBool(KEY_EXPANDED_DISPLAY, expanded);
    WriteBool(KEY_IMAGE_CONTROLS, imageControlsVisible);
    Store().Synchronize();
}

bool UserPreferences::ShouldQueryVersion() const
{
    if (!autoVersionCheck)
        return false;
    std::time_t lastCheck = 0;
    if (!ParseISODate(Trim(ReadString(KEY_LAST_VERSION_CHECK)), lastCheck))
        return true;
    return std::difftime(std::time(nullptr), lastCheck) > VERSION_CHECK_INTERVAL;
}

void UserPreferences::UpdateVersionQueryDate()
{
    std::string text;
    if (FormatISODate(std::time(nullptr), text))
        Store().SetValue(KEY_LAST_VERSION_CHECK, text);
    Store().Synchronize();
}

void UserPreferences::UpdateLastVersionRun()
{
    lastVersionRun = buildNumber;
    WriteInt(KEY_LAST_VERSION_RUN, buildNumber);
    Store().Synchronize();
}
