// The benchmarks' --port COMn option: the run goes through that COM port instead of the
// simulated line.
#pragma once

const int NO_PORT_OPTION = -1;
const int BAD_PORT_OPTION = -2;

// Takes --port COMn out of the arguments: the port index 0..3 for COM1..COM4,
// NO_PORT_OPTION without the option, BAD_PORT_OPTION when its port is not one of those.
int TakePortOption(int* argc, char** argv);
