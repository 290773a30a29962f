// The subsystems' start-ups and shutdowns as one list: a shutdown that leaves
// the program's files with the system, a hook that start-up forgets, or a
// second start-up on the remains of the first is caught here.
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/system/files.h"
#include "runtime/system/files_internal.h"
#include "support/runtime_started.h"
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class Subsystems : public RuntimeStarted {
protected:
    void SetUp() override {
        RuntimeStarted::SetUp();
        char pattern[] = "/tmp/morv-subsystems-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        RuntimeStarted::TearDown();
        std::filesystem::remove_all(folder);
    }
    // Opens number 1 for output and writes a line through the file buffer.
    void write_line(const std::string& name) {
        std::string path = folder + "/" + name;
        file_open(str_from_bytes(path.data(), uint32_t(path.size())), file_mode_output, 0, 0, 1, 0, false);
        ASSERT_EQ(error_code.load(), 0);
        file_raw_write(1, -1, "saved", 5);
        ASSERT_EQ(error_code.load(), 0);
        ASSERT_GE(file_os_handle(1), 0);
    }
    std::string contents(const std::string& name) const {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string folder;
};

// The shutdown flushes and closes the program's files; a restart of the program
// does the same through the hook start-up registers; and the runtime starts
// again on what its shutdown left.
TEST_F(Subsystems, FilesCloseAtShutdownAndRestartAndTheRuntimeStartsAgain) {
    write_line("at_shutdown.txt");
    process_shutdown();
    EXPECT_EQ(file_os_handle(1), -1);
    EXPECT_EQ(contents("at_shutdown.txt"), "saved");

    ASSERT_EQ(process_startup(false), 0);
    write_line("at_restart.txt");
    reset_program_state();
    EXPECT_EQ(file_os_handle(1), -1);
    EXPECT_EQ(contents("at_restart.txt"), "saved");
}

}  // namespace
