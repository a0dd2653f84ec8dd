#pragma once

#include <QString>
#include <QVector>

// One calculation method the prayer-times service knows.
struct PAPrayMethod
{
    int id = 0;
    QString description;
    QString code;

    // The fixed table, in display order, made anew on each call.
    static QVector<PAPrayMethod> methods();
};
