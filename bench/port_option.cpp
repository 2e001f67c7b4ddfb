#include "bench/port_option.h"

#include <cstdlib>
#include <cstring>

#include "link/serial_line.h"

int TakePortOption(int* argc, char** argv)
{
    for (int i = 1; i < *argc; ++i)
    {
        if (strcmp(argv[i], "--port") != 0)
            continue;
        const char* name = i + 1 < *argc ? argv[i + 1] : "";
        int number = strncmp(name, "COM", 3) == 0 ? atoi(name + 3) : 0;
        for (int j = i; j + 2 <= *argc; ++j)
            argv[j] = argv[j + 2];
        *argc -= 2;
        return number >= 1 && number <= LINE_PORT_COUNT ? number - 1 : BAD_PORT_OPTION;
    }
    return NO_PORT_OPTION;
}
