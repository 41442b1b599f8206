#pragma once
// What the link tells an engineer who asks: "kestro.link" (open, close, port
// errors, recovery) and "kestro.link.frames" (every frame out and every arrival
// in, in hex, with times). Both are off until QT_LOGGING_RULES or --trace
// switches them on; they go to standard error, or the journal.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcLinkFrames)

// Switches both categories on, as --trace asks.
void EnableLinkTrace();
