// Serves a folder with LocalStreamServer until SIGINT or SIGTERM, for
// bench_streamserver.sh: prints the URL of the file given, then waits.
#include "engine/LocalStreamServer.h"

#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROOT FILE\n", argv[0]);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    // Blocked before the server's thread exists, so only sigwait sees them.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    LocalStreamServer server(QString::fromLocal8Bit(argv[1]));
    const auto url = server.url(QString::fromLocal8Bit(argv[2]));
    if (!url) {
        std::fprintf(stderr, "the server did not start or the file is outside the root\n");
        return 1;
    }
    std::printf("%s\n", url->toEncoded().constData());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
