#pragma once

#include "FSDatabase.h"
#include "FSSipRegistration.h"

#include <QVector>

// Reads the internal profile's "sip_registrations" table
// ("db/sofia_reg_internal.db", connection "FSSIPREG").
class FSSipRegistrationsManager : public FSDatabase
{
public:
    // Every row, in the order the query yields them. A failed read is logged
    // ("sql " and the error), returns an empty list and sets `*ok` to false.
    QVector<FSSipRegistration> getRegistrations(bool *ok = nullptr);
};
