#pragma once

#include "core/AlertPresenter.h"

class QWidget;

// Alerts and confirmations as QMessageBox panels with plain text. Without a QApplication (command-line
// tools) it behaves like the core fallback: alerts to stderr, confirmations answered "No".
class QtAlertPresenter : public AlertPresenter
{
public:
    // Window-modal on OwnerWindow (a window of its own when there is none), its text selectable; returns at
    // once.
    void ShowAlert(const std::string& message) override;
    // Application-modal on OwnerWindow, "No" the default; blocks in a local event loop until answered.
    bool ShowConfirmation(const std::string& message) override;

    // The window that an alert, a confirmation or a file panel belongs on: the active window when it is a
    // document's (its window or a sheet on it), else the document window active last that is still shown;
    // without a document window shown, the active window or the one active last. Never a panel that goes away
    // by itself (a message panel once answered, a file panel once chosen, a pop-up list), whose parent stands
    // in for it: without that parent the window manager could stack the panel under the window it is about.
    // A document window that is not minimized comes first; a minimized one chosen is restored, since the panel
    // would be out of sight on it. Null when no window is shown. Follows the activations through the
    // WindowActivationTracker.
    static QWidget* OwnerWindow();
};
