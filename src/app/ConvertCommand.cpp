#include "app/ConvertCommand.h"

#include <cstdio>

// Temporary until the converter's command lands.
int runConvertCommand(const QStringList &) { std::fputs("convert: not built yet\n", stderr); return 2; }
