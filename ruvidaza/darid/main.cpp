// da_rid: runs one console command on the switch of its own folder.
//
//   da_rid -x "<command>"
//
// Prints the switch's answer on stdout exactly as received; diagnostics go to
// stderr only. Exit code 0 when an answer came, 1 when it begins with "-ERR",
// 2 when the switch could not be reached or did not answer in time.
//
// RUVIDAZA_SWITCH_PID=<pid> in the environment limits it to the switch running
// as that process: a console of any other switch counts as no switch.
//
// Kept free of Qt on purpose: the program runs one client per command, so the
// start-up cost of this executable is the cost of every console round trip.

#include "ConsoleClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static std::string ownFolder()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return ".";
    buf[n] = '\0';
    std::string path(buf);
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int main(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "-x") != 0) {
        std::fprintf(stderr, "usage: da_rid -x \"<command>\"\n");
        return 2;
    }
    ConsoleClient client(ownFolder());
    const char *pid = std::getenv("RUVIDAZA_SWITCH_PID");
    if (pid && *pid) {
        char *end = nullptr;
        const long expected = std::strtol(pid, &end, 10);
        if (*end != '\0' || expected <= 0) {
            std::fprintf(stderr, "da_rid: RUVIDAZA_SWITCH_PID is no process id: %s\n", pid);
            return 2;
        }
        client.setExpectedPid(expected);
    }
    std::string answer;
    std::string error;
    if (!client.run(argv[2], 25000, &answer, &error)) {
        std::fprintf(stderr, "da_rid: %s\n", error.c_str());
        return 2;
    }
    if (!answer.empty())
        std::fwrite(answer.data(), 1, answer.size(), stdout);
    std::fflush(stdout);
    return answer.compare(0, 4, "-ERR") == 0 ? 1 : 0;
}
