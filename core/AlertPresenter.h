#pragma once

#include <string>

// How ShowAlertBox and ShowConfirmationBox reach the user. The platform layer shows dialogs; without one
// (tools, tests) the fallback writes alerts to stderr and answers confirmations with the default "No".
class AlertPresenter
{
public:
    virtual ~AlertPresenter() = default;

    // Shows the message as literal text and returns without waiting for the user.
    virtual void ShowAlert(const std::string& message) = 0;
    // Shows the message as literal text with "No" (the default) and "Yes"; blocks until the user answers;
    // true for "Yes".
    virtual bool ShowConfirmation(const std::string& message) = 0;
};
