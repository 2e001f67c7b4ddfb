// CPU time of the whole process.
#include "bench/process_cpu.h"

#include <windows.h>

static unsigned long long Ticks100ns(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart;
}

long long ProcessCpuMs()
{
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user))
        return 0;
    return (long long)((Ticks100ns(kernel) + Ticks100ns(user)) / 10000ULL);
}
