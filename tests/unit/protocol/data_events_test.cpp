#include "protocol/data_events.h"
#include "protocol/stream_decoder.h"

#include "answer_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Every answer raises the event of its record, and only that one.
TEST(DataEvents, EachBlockRaisesItsEvent)
{
    QObject sender;
    TDataEvents events;
    std::map<std::string, int> calls;
    const auto count = [&](const char *name) {
        return [&calls, &sender, name](QObject *s, const auto &) {
            EXPECT_EQ(s, &sender);
            ++calls[name];
        };
    };
    events.OnMainTextChange = count("main");
    events.OnSettingTextChange = count("settings");
    events.OnKalibrTermoChange = count("termo");
    events.OnKalibrTermoADCChange = count("termoAdc");
    events.OnKalibr0TermoChange = count("zero");
    events.OnKalibr0TermoNsChange = count("zeroNs");
    events.OnKalibrQKoeff = count("flowKoeff");
    events.OnKalibrQNs = count("flowNs");

    const std::pair<int, const char *> byBlock[] = {
        {1, "main"}, {2, "settings"},  {3, "termo"},      {4, "termo"},      {5, "termoAdc"}, {6, "zero"},
        {7, "zero"}, {8, "zeroNs"},    {9, "flowKoeff"},  {10, "flowKoeff"}, {11, "flowNs"},  {12, "flowNs"},
    };
    StreamDecoder decoder;
    for (const auto &[block, event] : byBlock) {
        SCOPED_TRACE(block);
        auto expected = calls;
        ++expected[event];
        decoder.feed(Answer(block), 0, [&](const AnyRecord &r) { events.raise(&sender, r); });
        EXPECT_EQ(calls, expected);
    }
    EXPECT_EQ(decoder.acceptedFrames(), 12);
}

} // namespace
