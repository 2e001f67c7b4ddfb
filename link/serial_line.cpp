// Choice of line backend per port: the COM port, unless a simulated line is attached.
#include "link/serial_line.h"

static SimulatedLine* attachedLines[LINE_PORT_COUNT];

void AttachSimulatedLine(int portIndex, SimulatedLine* line)
{
    if (portIndex >= 0 && portIndex < LINE_PORT_COUNT)
        attachedLines[portIndex] = line;
}

SimulatedLine* AttachedSimulatedLine(int portIndex)
{
    if (portIndex < 0 || portIndex >= LINE_PORT_COUNT)
        return 0;
    return attachedLines[portIndex];
}

const LineBackend* SelectLineBackend(int portIndex)
{
    return AttachedSimulatedLine(portIndex) ? &simulatedLineBackend : &comPortBackend;
}
