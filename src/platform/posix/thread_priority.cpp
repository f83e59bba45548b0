#include "platform/thread_priority.h"

void SetCurrentThreadBelowNormal(bool) {}
