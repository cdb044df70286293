#pragma once

#include "core/AlertPresenter.h"

// Alerts and confirmations as QMessageBox panels with plain text. Without a QApplication (command-line
// tools) it behaves like the core fallback: alerts to stderr, confirmations answered "No".
class QtAlertPresenter : public AlertPresenter
{
public:
    // Window-modal on the active window (a window of its own when there is none), its text selectable;
    // returns at once.
    void ShowAlert(const std::string& message) override;
    // Application-modal, "No" the default; blocks in a local event loop until answered.
    bool ShowConfirmation(const std::string& message) override;
};
