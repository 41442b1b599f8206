// The stream decoder on adversarial and ordinary input, one core: MB/s per kind of
// input (the line itself carries at most 1.9 kB/s). Prints figures.
#include "protocol/response_blocks.h"
#include "protocol/stream_decoder.h"
#include <QElapsedTimer>
#include <cstdio>
#include <random>

namespace {

double megabytesPerSecond(const QByteArray &chunk, int rounds)
{
    StreamDecoder decoder;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i)
        decoder.feed(chunk, i, {});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return double(chunk.size()) * rounds / seconds / 1e6;
}

} // namespace

int main()
{
    std::mt19937 rng(7);
    QByteArray random(1 << 20, '\0');
    for (char &c : random)
        c = char(rng());
    QByteArray answers;
    for (const BlockSpec &block : ResponseBlocks()) {
        QByteArray frame(block.length(), '\0');
        frame[0] = char(0x1F);
        frame[1] = char(block.function);
        frame[3] = char(block.addr);
        frame[5] = char(block.count);
        frame[frame.size() - 1] = char(0x55);
        answers += frame;
    }
    QByteArray valid;
    while (valid.size() < (1 << 20))
        valid += answers;

    std::printf("stream decoder, MB/s on one core\n");
    std::printf("start bytes (0x1F) only:  %8.1f\n", megabytesPerSecond(QByteArray(1 << 20, '\x1f'), 64));
    std::printf("random bytes:             %8.1f\n", megabytesPerSecond(random, 64));
    std::printf("valid answers, all kinds: %8.1f\n", megabytesPerSecond(valid, 16));
    return 0;
}
