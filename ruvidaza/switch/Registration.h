#pragma once

#include <QString>

// How the endpoint of a binding is dialled: a real device over SIP (Sip), or
// a simulated one from the test controls that answers as told.
enum class AnswerMode { Auto, Ring, Reject, None, Sip };

// One registration binding, mirrored into "sip_registrations".
struct Registration
{
    QString sipUser;
    QString sipHost;
    QString contact;
    QString status;
    QString networkIp;
    QString networkPort;
    QString callId;
    qint64 expires = 0;     // epoch seconds
    AnswerMode answer = AnswerMode::Auto;
    int answerMs = 100;
};
