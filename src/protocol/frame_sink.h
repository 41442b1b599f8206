#pragma once
// What the encoders need of the link: something that takes a whole frame.
#include "protocol/kestro_error.h"
#include <QByteArray>

// Error raised when a frame cannot be handed over (port closed, write refused).
class LinkError : public KestroError
{
public:
    using KestroError::KestroError;
};

enum class FrameKind {
    Write,       // parameter write; the wire stays quiet 50 ms (+ extra) after it
    CountedRead, // read request; counted by the caller, 50 ms quiet after it
};

class FrameSink
{
public:
    virtual ~FrameSink() = default;
    // Queues the frame for transmission and returns at once. Throws LinkError when
    // the frame cannot be accepted (for example the port is not open).
    // extraPauseMs lengthens the quiet time after the frame (the flow save uses 100).
    virtual void sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs = 0) = 0;
};
