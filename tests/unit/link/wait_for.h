#pragma once
// Waiting on the event loop inside GoogleTest: Qt's QTRY_* macros report to QtTest,
// not to GoogleTest, so a timeout there would pass unnoticed.
#include <QTest>
#include <gtest/gtest.h>

#define WAIT_ASSERT_EQ(actual, expected, timeoutMs)                                                \
    do {                                                                                           \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, (timeoutMs));                \
        ASSERT_EQ((actual), (expected));                                                           \
    } while (0)
