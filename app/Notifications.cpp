#include "app/Notifications.h"

Notifications* Notifications::Instance()
{
    static Notifications instance;
    return &instance;
}
