// Writes the sample lending library that `kolta --sample` opens:
// kolta_writesample OUT.
#include "sampledb.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kolta_writesample OUT\n");
        return 2;
    }
    const QString error = kolta::sample::writeLibrary(QString::fromLocal8Bit(argv[1]));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kolta_writesample: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
