// Not a test: stands between the program and the real kolta-engine and holds
// each answer while the file named by $KOLTA_GATE exists. A test that must
// see the program wait (the "Working..." window, a Stop, a repaint in the
// middle of a request) creates the file, acts, and removes it: the outcome
// no longer depends on how fast the engine is.
//
// $KOLTA_GATED_ENGINE names the real engine; the arguments go to it as they
// are. Requests reach it directly (it inherits standard input).

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bool readFully(int fd, unsigned char *data, size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= size_t(got);
    }
    return true;
}

bool writeFully(int fd, const unsigned char *data, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const char *engine = std::getenv("KOLTA_GATED_ENGINE");
    const char *gate = std::getenv("KOLTA_GATE");
    if (!engine || !gate) {
        std::fputs("gatedengine: set KOLTA_GATED_ENGINE and KOLTA_GATE\n", stderr);
        return 2;
    }
    // Ended with the program, as the engine itself is.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int answers[2];
    if (::pipe(answers) != 0)
        return 2;
    const pid_t child = ::fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        ::dup2(answers[1], STDOUT_FILENO);
        ::close(answers[0]);
        ::close(answers[1]);
        std::vector<char *> args{const_cast<char *>(engine)};
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execv(engine, args.data());
        ::_exit(127);
    }
    ::close(answers[1]);
    ::signal(SIGPIPE, SIG_IGN);

    // Whole answers only: a frame is a 4-byte little-endian length and its payload.
    for (;;) {
        unsigned char head[4];
        if (!readFully(answers[0], head, 4))
            break;
        const uint32_t length = uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16
            | uint32_t(head[3]) << 24;
        if (length > 64u * 1024 * 1024)
            break;
        std::vector<unsigned char> frame(4 + length);
        std::copy(head, head + 4, frame.begin());
        if (!readFully(answers[0], frame.data() + 4, length))
            break;
        while (::access(gate, F_OK) == 0)
            ::usleep(2000);
        if (!writeFully(STDOUT_FILENO, frame.data(), frame.size()))
            break;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        ::signal(WTERMSIG(status), SIG_DFL);
        ::raise(WTERMSIG(status));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
