#pragma once

#include <string>

// One authenticated command exchange with the switch whose package folder is
// given (see ConsoleProtocol.h for the conversation).
class ConsoleClient
{
public:
    explicit ConsoleClient(std::string switchFolder);

    // Talk only to the switch running as process `pid` (0: whichever switch
    // runs on the folder). A console that belongs to another process, such
    // as one left running from an earlier start, is treated as no switch.
    void setExpectedPid(long pid) { m_expectedPid = pid; }

    // Runs `command`; true with the switch's answer in `answer`, false with a
    // reason in `error`. Gives up after `timeoutMs` in total.
    bool run(const std::string &command, int timeoutMs, std::string *answer, std::string *error);

private:
    bool readRunFile(int *port, std::string *error) const;
    bool readSecret(std::string *secret, std::string *error) const;

    std::string m_folder;
    long m_expectedPid = 0;
};
