#include "core/MediaApp.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("%s %s\n", qPrintable(MediaApp::name()), qPrintable(MediaApp::version()));
    return 0;
}
