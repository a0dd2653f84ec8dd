#include "RDUtils.h"

#include <gtest/gtest.h>

#include <QDateTime>

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
