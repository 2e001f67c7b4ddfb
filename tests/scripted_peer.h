// Test fixture: a scripted peer on the simulated line. Rules say "when a frame starting with
// these bytes arrives from the driver, send these bytes back (after a delay)". Every frame
// the driver sends is logged, acknowledgements included.
#pragma once

#include <stdint.h>
#include <initializer_list>
#include <vector>

#include "link/simulated_line.h"

typedef std::vector<uint8_t> Bytes;

struct ScriptedPeer;

// A frame with its checksum appended.
Bytes Frame(std::initializer_list<uint8_t> bytesWithoutChecksum);
Bytes Concat(std::initializer_list<Bytes> parts);
extern const Bytes ACK;          // 03 88 00 75, as the camera's acknowledgement
extern const Bytes CHECKSUM_NAK; // 03 88 10 65

// Creates a peer attached to the port (CTS on). Destroy detaches it.
ScriptedPeer* CreateScriptedPeer(int portIndex);
void DestroyScriptedPeer(ScriptedPeer* peer);
SimulatedLine* PeerLine(ScriptedPeer* peer);

// Adds a rule; times < 0 means every time. The first matching rule with times left answers.
void OnRequest(ScriptedPeer* peer, const Bytes& prefix, const Bytes& answer, int delayMs = 0,
               int times = -1);
void ClearRules(ScriptedPeer* peer);
// Sends bytes to the driver now (unsolicited frames, garbage).
void SendToDriver(ScriptedPeer* peer, const Bytes& bytes);

// Frames received from the driver so far, in order.
std::vector<Bytes> FramesFromDriver(ScriptedPeer* peer);
// Requests only (acknowledgements from the driver left out).
std::vector<Bytes> RequestsFromDriver(ScriptedPeer* peer);
int CountFromDriver(ScriptedPeer* peer, const Bytes& frame);
void ClearFrameLog(ScriptedPeer* peer);
// Waits (pumping messages) until n frames have come from the driver.
bool WaitForFramesFromDriver(ScriptedPeer* peer, int count, unsigned ms);
