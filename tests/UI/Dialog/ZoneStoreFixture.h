#pragma once

#include "RDGroup.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

class Velmar;

// The central object over a private database, without a switch: editors'
// results are stored and read back the way the screens do it.
class ZoneStoreFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores `zone` as a new zone and reads it back as the screens get it.
    RDGroup stored(RDGroup zone);

    QTemporaryDir m_dir;
    QString m_oldDir;
    Velmar *m_velmar = nullptr;
};
