// Link soak: 10,000 transactions against a virtual camera that injects faults at random
// (fixed seed), with the link's invariants checked on every one (bench/soak_harness.h).
// Usage: link_soak [transactions [seed]]. Exits with 1 when an invariant was breached.
#include "bench/soak_harness.h"

#include <stdlib.h>

int main(int argc, char** argv)
{
    SoakOptions options;
    DefaultSoakOptions(&options);
    if (argc > 1)
        options.transactions = atoi(argv[1]);
    if (argc > 2)
        options.seed = (uint32_t)strtoul(argv[2], 0, 10);
    options.progressEvery = options.transactions >= 2000 ? 1000 : 0;
    printf("HL-R8 link soak\n");
    PrintSoakOptions(stdout, &options);
    fflush(stdout);
    SoakResult result;
    if (!RunSoak(&options, &result))
    {
        printf("could not open the port on the virtual camera\n");
        return 2;
    }
    PrintSoakResult(stdout, &result);
    return result.violations ? 1 : 0;
}
