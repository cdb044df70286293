#include "core/Alerts.h"

#include "core/AlertPresenter.h"
#include "core/PlatformHooks.h"

void ShowAlertBox(const std::string& message)
{
    PlatformHooks::GetAlertPresenter().ShowAlert(message);
}

bool ShowConfirmationBox(const std::string& message)
{
    return PlatformHooks::GetAlertPresenter().ShowConfirmation(message);
}
