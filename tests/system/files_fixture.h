// A fixture for file numbers: the runtime as start-up leaves it (without the
// window), a temporary folder that is removed afterwards, and helpers that open, write and read by number
// and hand back the runtime error each step raised.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/system/files.h"
#include "support/runtime_started.h"

class FileNumbers : public RuntimeStarted {
protected:
    void SetUp() override {
        RuntimeStarted::SetUp();
        char pattern[] = "/tmp/morv-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        RuntimeStarted::TearDown();
        std::filesystem::remove_all(folder);
    }

    std::string path(const std::string& name) const { return folder + "/" + name; }

    // The pending runtime error, cleared (0 when none).
    static int32_t take_error() { return error_code.exchange(0); }

    static int32_t open(const std::string& file, int32_t mode, int32_t number, int32_t access = 0, int32_t lock = 0,
                        int64_t record_length = 0) {
        file_open(str_from_bytes(file.data(), static_cast<uint32_t>(file.size())), mode, access, lock, number,
                  record_length, record_length != 0);
        return take_error();
    }
    int32_t open_in(const std::string& name, int32_t mode, int32_t number, int32_t access = 0, int32_t lock = 0,
                    int64_t record_length = 0) const {
        return open(path(name), mode, number, access, lock, record_length);
    }
    static int32_t write(int32_t number, const std::string& bytes, int64_t position = -1) {
        file_raw_write(number, position, bytes.data(), bytes.size());
        return take_error();
    }
    static std::string read(int32_t number, uint64_t length, int64_t position = -1) {
        std::string bytes(length, '?');
        int64_t got = file_raw_read(number, position, bytes.data(), length);
        bytes.resize(static_cast<size_t>(got));
        return bytes;
    }

    std::string contents(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void make(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string folder;
};
