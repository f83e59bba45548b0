#pragma once
// Priority hint for the calling thread. Windows lowers a worker below normal; the posix half
// ignores the hint (a lowered nice value would be inherited by threads the worker starts).
void SetCurrentThreadBelowNormal(bool belowNormal);
