// fshttp: reports one inbound call to the program's HTTP route.
//
//   fshttp <caller> <number> <conference> internal|external <httpPort>
//
// Sends POST /fs/conference to 127.0.0.1:<httpPort> with the form keys
// "type", "number", "caller" and "conference". Exit 0 on a 2xx answer,
// 1 on any other answer or a network failure, 2 on bad arguments.

#include "HttpReport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: fshttp <caller> <number> <conference> internal|external <httpPort>\n");
        return 2;
    }
    const std::string type = argv[4];
    if (type != "internal" && type != "external") {
        std::fprintf(stderr, "fshttp: type must be internal or external\n");
        return 2;
    }
    char *end = nullptr;
    const long port = std::strtol(argv[5], &end, 10);
    if (!end || *end != '\0' || port <= 0 || port > 65535) {
        std::fprintf(stderr, "fshttp: bad port '%s'\n", argv[5]);
        return 2;
    }
    HttpReport report;
    report.add("type", type);
    report.add("number", argv[2]);
    report.add("caller", argv[1]);
    report.add("conference", argv[3]);
    std::string error;
    const int status = report.post(int(port), "/fs/conference", 5000, &error);
    if (status < 200 || status > 299) {
        std::fprintf(stderr, "fshttp: %s\n", error.empty() ? ("HTTP status " + std::to_string(status)).c_str()
                                                             : error.c_str());
        return 1;
    }
    return 0;
}
