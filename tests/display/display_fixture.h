// A fresh start-up screen for each display test (start-up as the process runs
// it, without the window), and a way to read the error one statement raised.
#pragma once
#include <gtest/gtest.h>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "support/runtime_started.h"

class DisplayFixture : public RuntimeStarted {
protected:
    // Runs one statement and returns the error it raised, leaving none pending.
    template <class F>
    int32_t error_of(F statement) {
        error_code = 0;
        statement();
        int32_t e = error_code.load();
        error_code = 0;
        return e;
    }
};
