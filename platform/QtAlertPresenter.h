#pragma once

#include "core/AlertPresenter.h"

#include <memory>

class QWidget;

// Alerts and confirmations as QMessageBox panels with plain text. Without a QApplication (command-line
// tools) it behaves like the core fallback: alerts to stderr, confirmations answered "No".
class QtAlertPresenter : public AlertPresenter
{
public:
    // Starts following which window is active, for OwnerWindow; made after the application object.
    QtAlertPresenter();
    ~QtAlertPresenter() override;
    QtAlertPresenter(const QtAlertPresenter&) = delete;
    QtAlertPresenter& operator=(const QtAlertPresenter&) = delete;

    // Window-modal on OwnerWindow (a window of its own when there is none), its text selectable; returns at
    // once.
    void ShowAlert(const std::string& message) override;
    // Application-modal on OwnerWindow, "No" the default; blocks in a local event loop until answered.
    bool ShowConfirmation(const std::string& message) override;

    // The window that an alert, a confirmation or a file panel belongs on: the active window, else the one
    // active last, as long as it is shown; never a panel that goes away by itself (a message panel once
    // answered, a file panel once chosen, a pop-up list), whose parent stands in for it. Without that parent
    // the window manager could stack the panel under the window it is about. Null when no window is shown.
    static QWidget* OwnerWindow();

private:
    class ActivationWatch;
    std::unique_ptr<ActivationWatch> m_activationWatch;
};
