#pragma once

// The converter's vocabulary in one include.
#include "engine/ConvertError.h"
#include "engine/ConvertKind.h"
#include "engine/ConvertOptions.h"
#include "engine/ConvertQuality.h"
#include "engine/ConvertTarget.h"
