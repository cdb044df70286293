#pragma once

#include <string>

// Shows message, literally, on the current document's window and returns at once.
void ShowAlertBox(const std::string& message);

// Shows message, literally, with "No" (the default) and "Yes", waits for the user; true for "Yes".
bool ShowConfirmationBox(const std::string& message);
