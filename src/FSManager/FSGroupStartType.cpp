#include "FSGroupStartType.h"

namespace {
const char *const kStartTypeTexts[] = {
    nullptr, "user", "call conference", "sipTrunk", "schedule", "http", "pray", "api",
};
constexpr int kStartTypeCount = int(sizeof(kStartTypeTexts) / sizeof(kStartTypeTexts[0]));
} // namespace

int fsGroupStartTypeFromText(const QString &text)
{
    for (int i = 1; i < kStartTypeCount; ++i) {
        if (text.compare(QLatin1String(kStartTypeTexts[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return FSGroupStartNone;
}

QString fsGroupStartTypeText(int type)
{
    if (type >= 1 && type < kStartTypeCount)
        return QString::fromLatin1(kStartTypeTexts[type]);
    return QStringLiteral("none");
}
