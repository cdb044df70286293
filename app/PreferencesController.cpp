#include "app/PreferencesController.h"

#include "app/CorvaneAppDelegate.h"
#include "core/UserPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QSlider>

PreferencesController* PreferencesController::Instance()
{
    static PreferencesController* instance = new PreferencesController();
    return instance;
}

int PreferencesController::SelectionForSamples(int samples)
{
    return samples == 0 ? 0 : samples / 2 + 1;
}

int PreferencesController::SamplesForSelection(int index)
{
    // "2x" stores 1 and "4x" stores 2: the labels and the stored numbers differ on purpose, and
    // SelectionForSamples reads them back to the same entry.
    return index <= 1 ? index : 2 * index - 2;
}

void PreferencesController::LoadWindow()
{
    m_window = new QDialog();
    m_window->setObjectName("Preferences");
    m_window->setWindowTitle("Preferences");
    m_window->setModal(false);
    auto* form = new QFormLayout(m_window);
    autoCheckForUpdatesButton = new QCheckBox("Check for updates automatically", m_window);
    autoRotateButton = new QCheckBox("Rotate the view automatically", m_window);
    fasterRenderingButton = new QCheckBox("Faster, lower quality drawing", m_window);
    verticalSyncButton = new QCheckBox("Synchronise with the display", m_window);
    multiSamplingPopup = new QComboBox(m_window);
    bookmarkAnimationSpeedSlider = new QSlider(Qt::Horizontal, m_window);
    bookmarkAnimationSpeedSlider->setRange(0, 10);
    form->addRow(autoCheckForUpdatesButton);
    form->addRow(autoRotateButton);
    form->addRow(fasterRenderingButton);
    form->addRow(verticalSyncButton);
    form->addRow("Multisampling:", multiSamplingPopup);
    form->addRow("Bookmark animation:", bookmarkAnimationSpeedSlider);
    connect(autoCheckForUpdatesButton, &QCheckBox::clicked, this, [this] { toggleAutoCheckForUpdates(); });
    connect(autoRotateButton, &QCheckBox::clicked, this, [this] { toggleAutoRotate(); });
    connect(fasterRenderingButton, &QCheckBox::clicked, this, [this] { toggleRenderingMode(); });
    connect(verticalSyncButton, &QCheckBox::clicked, this, [this] { toggleVerticalSync(); });
    connect(multiSamplingPopup, &QComboBox::activated, this, [this] { multiSamplingChanged(); });
    connect(bookmarkAnimationSpeedSlider, &QSlider::valueChanged, this, [this] { bookmarkAnimationSpeedChanged(); });
    CorvaneAppDelegate::AddApplicationCommands(m_window, true);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_window->move(screen->availableGeometry().center() - QPoint(180, 120));
}

void PreferencesController::showPreferences()
{
    if (!m_window)
        LoadWindow();
    UserPreferences* preferences = UserPreferences::GetPreferences();
    autoCheckForUpdatesButton->setChecked(preferences->GetAutoVersionCheck());
    autoRotateButton->setChecked(preferences->GetAutoRotate());
    fasterRenderingButton->setChecked(preferences->GetFasterDrawing());
    verticalSyncButton->setChecked(preferences->GetVSync());
    {
        const QSignalBlocker block(bookmarkAnimationSpeedSlider);
        bookmarkAnimationSpeedSlider->setValue(static_cast<int>(10.0f - preferences->GetBookmarkAnimationSpeed()));
    }
    const int maximum = preferences->GetMaxNumSamples();
    if (maximum > 0)
    {
        multiSamplingPopup->clear();
        multiSamplingPopup->addItem("1x");
        for (int samples = 2; samples <= maximum; samples += 2)
            multiSamplingPopup->addItem(QString("%1x").arg(samples));
        multiSamplingPopup->setCurrentIndex(SelectionForSamples(preferences->GetNumSamples()));
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PreferencesController::toggleAutoCheckForUpdates()
{
    UserPreferences::GetPreferences()->SetAutoVersionCheck(autoCheckForUpdatesButton->isChecked());
}

void PreferencesController::toggleAutoRotate()
{
    UserPreferences::GetPreferences()->SetAutoRotate(autoRotateButton->isChecked());
}

void PreferencesController::toggleRenderingMode()
{
    UserPreferences::GetPreferences()->SetFasterDrawing(fasterRenderingButton->isChecked());
}

void PreferencesController::toggleVerticalSync()
{
    UserPreferences::GetPreferences()->SetVSync(verticalSyncButton->isChecked());
}

void PreferencesController::multiSamplingChanged()
{
    const int index = multiSamplingPopup->currentIndex();
    if (index >= 0)
        UserPreferences::GetPreferences()->SetNumSamples(SamplesForSelection(index));
}

void PreferencesController::bookmarkAnimationSpeedChanged()
{
    UserPreferences::GetPreferences()->SetBookmarkAnimationSpeed(
        static_cast<float>(10 - bookmarkAnimationSpeedSlider->value()));
}
