#pragma once
// Where the audio renderer's sound goes: a PulseAudio stream, or the null
// sink that plays nothing in real time. Both take interleaved 16-bit PCM and
// keep a small buffer. The renderer calls them under its own lock, except
// for the waits, which take no lock of the renderer's: interrupt() releases
// them from another thread.

#include "platform/graph/formats.h"

#include <chrono>
#include <cstddef>
#include <memory>

class AudioOutput
{
public:
    virtual ~AudioOutput() = default;

    // Bytes that can be written now without blocking.
    virtual std::size_t writable() = 0;
    virtual void write(const BYTE* data, std::size_t size) = 0;
    // The waits: each ends when its condition holds, the output broke or an
    // interrupt came, and never lasts longer than the sound the output holds
    // takes to play; the caller then looks again.
    // Waits until there is room to write.
    virtual void waitWritable() = 0;
    // Waits until a drain has been heard to its end.
    virtual void waitDrained() = 0;
    // Releases the wait under way, or the next one when none is.
    virtual void interrupt() = 0;
    // What has been heard since the output opened, in 100-ns units.
    virtual REFERENCE_TIME played() = 0;
    // True when played() runs on a sound device's own time, false when it
    // runs on the steady clock.
    virtual bool ownTime() const { return true; }
    // A paused output holds what it has.
    virtual void setPaused(bool paused) = 0;
    // Drops what is written and not yet heard.
    virtual void flush() = 0;
    // Plays out what is left, even less than the output waits for to start;
    // drained() says when it has all been heard.
    virtual void drain() = 0;
    virtual bool drained() = 0;
    // False once the output has broken (its server went away).
    virtual bool healthy() = 0;
};

// The null sink: plays at the format's rate by the steady clock.
std::unique_ptr<AudioOutput> openNullOutput(const WAVEFORMATEX& format);
// A stream on the PulseAudio server (the default one, or PULSE_SERVER);
// null when no server answers.
std::unique_ptr<AudioOutput> openPulseOutput(const WAVEFORMATEX& format);

// The buffer the outputs keep ahead of what is heard.
constexpr std::chrono::milliseconds kAudioBuffer{100};
