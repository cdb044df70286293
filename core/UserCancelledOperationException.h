#pragma once

// Thrown by value, caught by constant reference, when work ends because the user
// cancelled it; callers report it without an error message.
class UserCancelledOperationException
{};
