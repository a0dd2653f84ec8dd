#include "RDUtils.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <ctime>

// The event log's time stamps: the local time of the moment, in the form
// the log's filters compare as text.
TEST(LocalTimeText, IsTheLocalTimeNowInTheLogForm)
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const QString text = localTimeNowText();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    ASSERT_EQ(text.size(), format.size()) << text.toStdString();
    const QDateTime parsed = QDateTime::fromString(text, format);
    ASSERT_TRUE(parsed.isValid()) << text.toStdString();
    EXPECT_GE(parsed, QDateTime::fromString(before.toString(format), format));
    EXPECT_LE(parsed, after);
}

// Log lines and records convert each second once per thread: a cached
// conversion must never answer for another second.
TEST(LocalTimeText, EachSecondIsConvertedAsItself)
{
    const std::time_t now = std::time(nullptr);
    const std::time_t seconds[] = {now, now, now + 1, now + 86400 + 7, now, 0, 0, now - 3600};
    for (const std::time_t secs : seconds) {
        std::tm expected {};
        ASSERT_NE(::localtime_r(&secs, &expected), nullptr);
        const std::tm got = localTimeOf(secs);
        std::tm back = got;
        EXPECT_EQ(std::mktime(&back), secs) << secs;
        EXPECT_EQ(got.tm_year, expected.tm_year) << secs;
        EXPECT_EQ(got.tm_yday, expected.tm_yday) << secs;
        EXPECT_EQ(got.tm_hour, expected.tm_hour) << secs;
        EXPECT_EQ(got.tm_min, expected.tm_min) << secs;
        EXPECT_EQ(got.tm_sec, expected.tm_sec) << secs;
    }
}
