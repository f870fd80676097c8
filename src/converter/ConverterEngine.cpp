#include "converter/ConverterEngine.h"
