#include "PAPrayMethod.h"

QVector<PAPrayMethod> PAPrayMethod::methods()
{
    return {
        {0, QStringLiteral("Shia Ithna-Ashari, Leva Institute, Qum"), QStringLiteral("JAFARI")},
        {1, QStringLiteral("University of Islamic Sciences, Karachi"), QStringLiteral("KARACHI")},
        {2, QStringLiteral("Islamic Society of North America (ISNA)"), QStringLiteral("ISNA")},
        {3, QStringLiteral("Muslim World League"), QStringLiteral("MWL")},
        {4, QStringLiteral("Umm Al-Qura University, Makkah"), QStringLiteral("MAKKAH")},
        {5, QStringLiteral("Egyptian General Authority of Survey"), QStringLiteral("EGYPT")},
        {7, QStringLiteral("Institute of Geophysics, University of Tehran"), QStringLiteral("TEHRAN")},
        {8, QStringLiteral("Gulf Region"), QStringLiteral("GULF")},
        {9, QStringLiteral("Kuwait"), QStringLiteral("KUWAIT")},
        {10, QStringLiteral("Qatar"), QStringLiteral("QATAR")},
        {11, QStringLiteral("Majlis Ugama Islam Singapura, Singapore"), QStringLiteral("SINGAPORE")},
        {12, QStringLiteral("Union Organization Islamic de France"), QStringLiteral("FRANCE")},
        {13, QStringLiteral("Turkey"), QStringLiteral("TURKEY")},
        {14, QStringLiteral("Spiritual Administration of Muslims of Russia"), QStringLiteral("RUSSIA")},
        {15, QStringLiteral("Moonsighting Committee Worldwide"), QStringLiteral("MOONSIGHTING")},
    };
}
