#pragma once

#include "RDGroup.h"

#include <QString>

#include <functional>

// Puts a zone's chosen background picture into the background folder and
// stores the zone's record. Every picture gets a name of its own (the zone's
// number and the time), so a leftover file of an old zone is never taken for
// the new one and the per-path pixmap cache never shows a replaced picture.
// The old picture is removed only after the record holding the new name has
// been stored: a failed copy or store leaves the old picture and the record
// as they were.
class VelmarBackgroundStore
{
public:
    using StoreRecord = std::function<bool(const RDGroup &)>;

    VelmarBackgroundStore(const QString &dir, StoreRecord storeRecord);

    // chosenPath empty clears the picture; the current picture (by any path
    // leading to the same file) keeps its name. On true, group holds the
    // stored backgroundImage; on false, group is unchanged.
    bool apply(RDGroup &group, const QString &chosenPath) const;

    // Suffix of the file name (text after its last "."), never of a folder.
    static QString suffixOf(const QString &path);

private:
    QString currentPath(const RDGroup &group) const;
    QString uniqueName(const RDGroup &group, const QString &suffix) const;

    QString m_dir;
    StoreRecord m_storeRecord;
};
