// The simulator's request framer: whatever arrives, only well-formed requests come out.
#include "fuzz_input.h"
#include "protocol/protokol_usb.h"
#include "sim/request_framer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    RequestFramer framer;
    qint64 now = 0;
    while (!in.empty()) {
        const uint8_t control = in.byte();
        const uint8_t *chunk = nullptr;
        const size_t n = in.take((control & 0x7F) + 1, &chunk);
        now += control & 0x80 ? RequestFramer::StaleGapMs + 1 : 1;
        for (const QByteArray &frame : framer.feed(QByteArray(reinterpret_cast<const char *>(chunk), qsizetype(n)), now)) {
            check(frame.size() >= 7);
            check(quint8(frame.front()) == Proto::StartByte && quint8(frame.back()) == Proto::EndByte);
        }
        check(framer.pendingBytes() <= 7 + 2 * RequestFramer::MaxWriteRegisters);
    }
    return 0;
}
