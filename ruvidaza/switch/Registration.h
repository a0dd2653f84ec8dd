#pragma once

#include <QString>

// How a simulated endpoint reacts when the switch dials it.
enum class AnswerMode { Auto, Ring, Reject, None };

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
