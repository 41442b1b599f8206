// The stream decoder fed arbitrary bytes in arbitrary chunks at arbitrary times.
// Each step: a control byte (chunk length 1..64 in its low bits, "the line was seen
// quiet" and "time passes" in its high bits), then the chunk.
#include "fuzz_input.h"
#include "protocol/response_blocks.h"
#include "protocol/stream_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    StreamDecoder decoder;
    qint64 now = 0, fed = 0;
    int longest = 0;
    for (const BlockSpec &block : ResponseBlocks())
        longest = std::max(longest, block.length());
    const auto onFrame = [](const AnyRecord &) {};
    while (!in.empty()) {
        const uint8_t control = in.byte();
        const uint8_t *chunk = nullptr;
        const size_t n = in.take((control & 0x3F) + 1, &chunk);
        if (control & 0x80)
            now += 1 + (control & 0x3F) * 5;
        decoder.feed(QByteArray(reinterpret_cast<const char *>(chunk), qsizetype(n)), now, onFrame);
        fed += qint64(n);
        if (control & 0x40)
            decoder.expireStale(now + StreamDecoder::DefaultStaleMs, onFrame);
        // Bounded: what waits is the start of one answer at most.
        check(decoder.buffered() < longest);
        // Every byte is accounted for.
        check(decoder.acceptedBytes() + decoder.droppedBytes() + decoder.buffered() == fed);
        // Only whole answers of known blocks are accepted: at least the shortest one each.
        check(decoder.acceptedBytes() >= decoder.acceptedFrames() * 11);
    }
    return 0;
}
