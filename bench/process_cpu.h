// CPU time of the whole process, for the benchmarks' figures.
#pragma once

// User plus kernel time of every thread of this process so far, in milliseconds.
long long ProcessCpuMs();
