// Scripted peer for link and command tests.
#include "tests/scripted_peer.h"
#include "tests/test_window.h"
#include "link/packet.h"
#include "link/serial_line.h"

#include <mutex>

struct ScriptRule
{
    Bytes prefix;
    Bytes answer;
    int delayMs;
    int times;
};

struct PendingAnswer
{
    uint32_t dueMs;
    Bytes bytes;
};

struct ScriptedPeer
{
    SimulatedLine line;
    int portIndex;
    std::mutex lock;
    std::vector<ScriptRule> rules;
    std::vector<PendingAnswer> pending;
    std::vector<Bytes> frames; // from the driver
    Bytes partial;             // bytes of a frame still arriving
};

const Bytes ACK = {0x03, 0x88, 0x00, 0x75};
const Bytes CHECKSUM_NAK = {0x03, 0x88, 0x10, 0x65};

Bytes Frame(std::initializer_list<uint8_t> bytesWithoutChecksum)
{
    Bytes frame(bytesWithoutChecksum);
    frame.push_back(FrameChecksum(frame.data(), (int)frame.size()));
    return frame;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

static bool StartsWith(const Bytes& frame, const Bytes& prefix)
{
    return frame.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), frame.begin());
}

static void Answer(ScriptedPeer* peer, const Bytes& frame, uint32_t nowMs)
{
    if (frame.size() > 1 && (frame[1] & ACK_FLAG))
        return; // the driver's own acknowledgements are never answered
    for (ScriptRule& rule : peer->rules)
    {
        if (rule.times == 0 || !StartsWith(frame, rule.prefix))
            continue;
        if (rule.times > 0)
            --rule.times;
        peer->pending.push_back({nowMs + (uint32_t)rule.delayMs, rule.answer});
        return;
    }
}

// Splits the driver's bytes into frames by their length bytes.
static void TakeBytes(ScriptedPeer* peer, const uint8_t* bytes, int count, uint32_t nowMs)
{
    for (int i = 0; i < count; ++i)
    {
        if (peer->partial.empty() && !IsLengthByte(bytes[i]))
            continue;
        peer->partial.push_back(bytes[i]);
        if ((int)peer->partial.size() == peer->partial[0] + 1)
        {
            peer->frames.push_back(peer->partial);
            Answer(peer, peer->partial, nowMs);
            peer->partial.clear();
        }
    }
}

static uint32_t ServePeer(void* context, SimulatedLine* line, uint32_t nowMs)
{
    ScriptedPeer* peer = (ScriptedPeer*)context;
    uint8_t bytes[256];
    std::lock_guard<std::mutex> guard(peer->lock);
    int count;
    while ((count = SimPeerRead(line, bytes, sizeof bytes)) > 0)
        TakeBytes(peer, bytes, count, nowMs);
    uint32_t next = SIM_NO_DEADLINE;
    for (size_t i = 0; i < peer->pending.size();)
    {
        PendingAnswer& answer = peer->pending[i];
        if ((int32_t)(answer.dueMs - nowMs) <= 0)
        {
            SimPeerWrite(line, answer.bytes.data(), (int)answer.bytes.size());
            peer->pending.erase(peer->pending.begin() + (long)i);
            continue;
        }
        if (next == SIM_NO_DEADLINE || (int32_t)(answer.dueMs - next) < 0)
            next = answer.dueMs;
        ++i;
    }
    return next;
}

ScriptedPeer* CreateScriptedPeer(int portIndex)
{
    ScriptedPeer* peer = new ScriptedPeer();
    peer->portIndex = portIndex;
    SimInitLine(&peer->line);
    SimSetCts(&peer->line, 1);
    AttachSimulatedLine(portIndex, &peer->line);
    SimStartPeer(&peer->line, ServePeer, peer);
    return peer;
}

void DestroyScriptedPeer(ScriptedPeer* peer)
{
    AttachSimulatedLine(peer->portIndex, 0);
    SimDestroyLine(&peer->line);
    delete peer;
}

SimulatedLine* PeerLine(ScriptedPeer* peer)
{
    return &peer->line;
}

void OnRequest(ScriptedPeer* peer, const Bytes& prefix, const Bytes& answer, int delayMs,
               int times)
{
    std::lock_guard<std::mutex> guard(peer->lock);
    peer->rules.push_back({prefix, answer, delayMs, times});
}

void ClearRules(ScriptedPeer* peer)
{
    std::lock_guard<std::mutex> guard(peer->lock);
    peer->rules.clear();
}

void SendToDriver(ScriptedPeer* peer, const Bytes& bytes)
{
    SimPeerWrite(&peer->line, bytes.data(), (int)bytes.size());
}

std::vector<Bytes> FramesFromDriver(ScriptedPeer* peer)
{
    std::lock_guard<std::mutex> guard(peer->lock);
    return peer->frames;
}

std::vector<Bytes> RequestsFromDriver(ScriptedPeer* peer)
{
    std::vector<Bytes> requests;
    for (const Bytes& frame : FramesFromDriver(peer))
        if (!(frame[1] & ACK_FLAG))
            requests.push_back(frame);
    return requests;
}

int CountFromDriver(ScriptedPeer* peer, const Bytes& frame)
{
    int count = 0;
    for (const Bytes& sent : FramesFromDriver(peer))
        count += sent == frame;
    return count;
}

void ClearFrameLog(ScriptedPeer* peer)
{
    std::lock_guard<std::mutex> guard(peer->lock);
    peer->frames.clear();
}

struct FrameCountWait
{
    ScriptedPeer* peer;
    size_t count;
};

static bool HasFrames(void* context)
{
    FrameCountWait* wait = (FrameCountWait*)context;
    return FramesFromDriver(wait->peer).size() >= wait->count;
}

bool WaitForFramesFromDriver(ScriptedPeer* peer, int count, unsigned ms)
{
    FrameCountWait wait = {peer, (size_t)count};
    return PumpUntil(HasFrames, &wait, ms);
}
