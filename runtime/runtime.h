// Everything a compiled program may call.
#pragma once
#include "runtime/core/flags.h"
#include "runtime/core/errors.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/clock.h"
#include "runtime/core/startup.h"
#include "runtime/display/fonts.h"
#include "runtime/display/images.h"
#include "runtime/display/display.h"
#include "runtime/display/text.h"
