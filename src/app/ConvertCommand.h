#pragma once

#include <QStringList>

// "zentrova-media convert …": converts files without a window. `args` are the
// arguments after "convert"; returns the process exit code. A QGuiApplication
// (offscreen unless QT_QPA_PLATFORM says otherwise) exists during the call.
int runConvertCommand(const QStringList &args);
