// Opens 10,000 loopback TCP sockets (a listener with 5,000 connections, both
// ends in this process), then measures in the same run:
//   - taking the port snapshot (CPortMgr), alone and with every owner looked
//     up, against `ss -tuanp` listing the same sockets with their processes,
//     as a ratio;
//   - answering one free port from the snapshot.
#include "logical/PortMgr.h"

#include "BenchSupport.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnections = 5000; // two sockets each, plus the listener
constexpr int kRuns = 7;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool raiseFileLimit(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= wanted)
        return true;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, wanted);
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

// Runs `ss -tuanp` and reads its whole output; the number of lines it listed.
long runSs()
{
    FILE* pipe = popen("ss -tuanp", "r");
    if (!pipe)
        return -1;
    long lines = 0;
    char buffer[65536];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        lines += std::count(buffer, buffer + count, '\n');
    return pclose(pipe) == 0 ? lines : -1;
}

} // namespace

int main()
{
    if (!raiseFileLimit(2 * kConnections + 256)) {
        std::fprintf(stderr, "cannot raise the open file limit to %d\n", 2 * kConnections + 256);
        return 1;
    }

    std::vector<int> sockets;
    const int listener = bench::loopbackSocket(0, true);
    if (listener < 0) {
        std::perror("listener");
        return 1;
    }
    sockets.push_back(listener);
    const unsigned short listenPort = bench::boundPort(listener);
    for (int i = 0; i < kConnections; ++i) {
        const int client = bench::loopbackSocket(listenPort, false);
        if (client < 0) {
            std::perror("connect");
            return 1;
        }
        const int accepted = accept(listener, nullptr, nullptr);
        if (accepted < 0) {
            std::perror("accept");
            return 1;
        }
        sockets.push_back(client);
        sockets.push_back(accepted);
    }

    // A port that is free when the snapshot is taken.
    const unsigned short freePort = bench::freePort();

    std::vector<double> snapshotTimes;
    std::vector<double> ownerTimes;
    std::vector<double> ssTimes;
    size_t entries = 0;
    long ssLines = 0;
    for (int run = 0; run < kRuns; ++run) {
        Clock::time_point start = Clock::now();
        serverframework::CPortMgr ports;
        snapshotTimes.push_back(millisecondsSince(start));
        entries = ports.portTable().size(); // looks up every owner
        ownerTimes.push_back(millisecondsSince(start));

        start = Clock::now();
        ssLines = runSs();
        ssTimes.push_back(millisecondsSince(start));
        if (ssLines < 0) {
            std::fprintf(stderr, "ss -tuanp failed\n");
            return 1;
        }
    }

    serverframework::CPortMgr ports;
    constexpr int kQuestions = 200;
    bool anyTaken = false;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kQuestions; ++i)
        anyTaken |= ports.CheckPortConflict(freePort);
    const double perAnswer = millisecondsSince(start) / kQuestions;

    const double snapshot = bench::median(snapshotTimes);
    const double withOwners = bench::median(ownerTimes);
    const double ss = bench::median(ssTimes);
    std::printf("sockets opened by this program: %zu\n", sockets.size());
    std::printf("snapshot entries: %zu, ss lines: %ld\n", entries, ssLines);
    std::printf("snapshot (median of %d): %.2f ms, with every owner %.2f ms\n", kRuns, snapshot, withOwners);
    std::printf("ss -tuanp (median of %d): %.2f ms\n", kRuns, ss);
    std::printf("snapshot with owners / ss ratio: %.3f (target <= 1)\n", withOwners / ss);
    std::printf("free-port answer: %.2f us (target < 1000 us)%s\n", perAnswer * 1000.0,
                anyTaken ? " -- the probe port was taken meanwhile" : "");

    for (const int fd : sockets)
        close(fd);
    return 0;
}
