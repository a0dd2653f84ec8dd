// REGISTER transactions per second through the user agent stack, with SIPp
// as the registrar on loopback (it answers every REGISTER 200 at once).
// Runs with 1, 8 and 32 registrations in flight: each registration sends
// its next REGISTER (new CSeq, new branch) as soon as the previous one is
// answered.
//
//   bench_sip_register [transactions=5000]
#include "SipStack.h"

#include <osipparser2/osip_parser.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

const char *kScenario = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="registrar answering 200">
  <label id="again"/>
  <recv request="REGISTER"/>
  <send next="again">
    <![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]reg[call_number]
[last_Call-ID:]
[last_CSeq:]
[last_Contact:];expires=360
Content-Length: 0

    ]]>
  </send>
</scenario>
)";

int freePort(int from)
{
    for (int port = from; port < from + 2000; ++port)
        if (SipStack::findFreePort(port, 17))
            return port;
    return 0;
}

pid_t startSipp(const std::string &scenario, int port)
{
    const std::string portText = std::to_string(port);
    std::vector<std::string> args = {"sipp", "-sf", scenario, "-i", "127.0.0.1", "-mi", "127.0.0.1", "-p",
                                     portText, "-nostdin", "-timeout", "120s", "-max_recv_loops", "100000"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "sipp", &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Sends `total` REGISTERs over `inFlight` registrations; returns the
// seconds it took, or a negative value on a failure.
double run(SipStack &stack, const std::string &registrar, int inFlight, int total)
{
    std::vector<int> rids;
    for (int i = 0; i < inFlight; ++i) {
        const std::string from = "sip:" + std::to_string(3000 + i) + "@127.0.0.1";
        const int rid = stack.registerBuildInitialRegister(from.c_str(), registrar.c_str(), nullptr, 360, nullptr);
        if (rid <= 0)
            return -1;
        rids.push_back(rid);
    }
    int sent = 0;
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int rid : rids)
        if (sent < total && stack.registerSendRegister(rid, nullptr) == 0)
            ++sent;
    while (done < sent) {
        SipStackEventPtr event = stack.eventWait(5, 0);
        if (!event)
            return -1;
        if (event->type == SipStackEventType::RegistrationFailure)
            return -1;
        if (event->type != SipStackEventType::RegistrationSuccess)
            continue;
        ++done;
        if (sent < total && stack.registerSendRegister(event->rid, nullptr) == 0)
            ++sent;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int rid : rids)
        stack.registerRemove(rid);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    const int total = argc > 1 ? std::atoi(argv[1]) : 5000;
    char dir[] = "/tmp/bench_sip_register.XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string scenario = std::string(dir) + "/registrar.xml";
    std::ofstream(scenario) << kScenario;
    const int sippPort = freePort(25060);
    const pid_t sipp = startSipp(scenario, sippPort);
    if (sipp <= 0) {
        std::fprintf(stderr, "cannot start sipp\n");
        return 1;
    }
    SipStack stack;
    stack.init();
    stack.setLocalAddress("127.0.0.1");
    if (stack.listenAddr(17, "127.0.0.1", 0, 2, 0) != 0) {
        std::fprintf(stderr, "cannot listen\n");
        kill(sipp, SIGKILL);
        waitpid(sipp, nullptr, 0);
        return 1;
    }
    const std::string registrar = "sip:127.0.0.1:" + std::to_string(sippPort);
    int status = 0;
    // Warm-up: SIPp needs a moment to open its socket; the first REGISTER
    // is retransmitted until it answers.
    if (run(stack, registrar, 1, 20) < 0) {
        std::fprintf(stderr, "registrar did not answer\n");
        status = 1;
    }
    for (int inFlight : {1, 8, 32}) {
        if (status != 0)
            break;
        const double seconds = run(stack, registrar, inFlight, total);
        if (seconds <= 0) {
            std::fprintf(stderr, "run with %d in flight failed\n", inFlight);
            status = 1;
            break;
        }
        std::printf("REGISTER transactions: %d in flight: %d in %.3f s = %.0f per second\n", inFlight, total,
                    seconds, total / seconds);
    }
    stack.quit();
    kill(sipp, SIGTERM);
    waitpid(sipp, nullptr, 0);
    std::remove(scenario.c_str());
    rmdir(dir);
    return status;
}
