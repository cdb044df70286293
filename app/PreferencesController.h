#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSlider;

// The preferences window: made once, non-modal, reused; every control writes its own setting at once.
class PreferencesController : public QObject
{
    Q_OBJECT

public:
    static PreferencesController* Instance();

    // Sets every control from the settings and brings the window forward.
    void showPreferences();
    void toggleAutoCheckForUpdates();
    void toggleAutoRotate();
    void toggleRenderingMode();
    void toggleVerticalSync();
    void multiSamplingChanged();
    void bookmarkAnimationSpeedChanged();
    void toggleAtlasGridLines() {}

    // The pop-up index that shows a stored sample setting, and the setting an index stores.
    static int SelectionForSamples(int samples);
    static int SamplesForSelection(int index);

    QDialog* window() const { return m_window; }
    QCheckBox* autoCheckForUpdatesButton = nullptr;
    QCheckBox* autoRotateButton = nullptr;
    QCheckBox* fasterRenderingButton = nullptr;
    QCheckBox* verticalSyncButton = nullptr;
    QComboBox* multiSamplingPopup = nullptr;
    QSlider* bookmarkAnimationSpeedSlider = nullptr;

private:
    PreferencesController() = default;
    void LoadWindow();

    QDialog* m_window = nullptr;
};
