#include "FSConference.h"

#include "RDLog.h"

#include <algorithm>

namespace {
int clampVolume(int volume)
{
    // A stored volume outside -10..10 would give a file level the switch
    // refuses; treat it as the nearest end of the scale.
    return std::max(-10, std::min(10, volume));
}
} // namespace

QString FSConference::getMedia(int index) const
{
    if (index < 0 || index >= media.size()) {
        RDLogDetail(__FILE__, __func__, __LINE__, 5, "getMeida(%d) over range [0, %d)", index, int(media.size()));
        return QString();
    }
    return media.at(index);
}

int FSConference::sipLevel(int volume)
{
    // (v + 10) / 20 * 200 is exact in integers.
    return (clampVolume(volume) + 10) * 10;
}

int FSConference::fileLevel(int volume)
{
    // (v + 10) / 20 * 26 - 13 == 13 * v / 10; C++ integer division truncates
    // toward zero, as the level must.
    return 13 * clampVolume(volume) / 10;
}

void FSConference::sortByPriority(QVector<FSConference> &records)
{
    std::stable_sort(records.begin(), records.end(), [](const FSConference &a, const FSConference &b) {
        if (a.priority != b.priority)
            return a.priority > b.priority;
        return a.conference > b.conference;
    });
}
