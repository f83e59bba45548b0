#include "platform/thread_priority.h"

#include <windows.h>

void SetCurrentThreadBelowNormal(bool belowNormal) {
  SetThreadPriority(GetCurrentThread(), belowNormal ? THREAD_PRIORITY_BELOW_NORMAL : THREAD_PRIORITY_NORMAL);
}
