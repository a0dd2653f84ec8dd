#pragma once

#include "FSChannel.h"
#include "FSDatabase.h"

#include <QVector>

// Reads the switch's "channels" table ("db/core.db", connection "FSCore").
class FSChannelsManager : public FSDatabase
{
public:
    // Every row, in the order the query yields them. A read that fails (file
    // busy, table missing while the switch restarts) returns an empty list
    // and sets `*ok` to false, so callers can tell it from an empty table.
    QVector<FSChannel> getChannels(bool *ok = nullptr);
};
