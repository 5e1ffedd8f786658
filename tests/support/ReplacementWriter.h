// A writer of a replacement file in a process of its own, for the tests of what interrupted
// runs leave behind: it creates a ReplacementFile for the target, writes to it and holds it
// until it is killed; killed with SIGKILL, it leaves its temporary file as a run killed
// mid-copy does.
//
//     test::ReplacementWriter writer(local / "Morvik.exe");
//     writer.Kill(); // writer.TemporaryFile() stays behind
#pragma once

#include <filesystem>
#include <sys/types.h>

namespace corvane::test {

class ReplacementWriter {
public:
    // Returns once the child has created and written its temporary file; fails the test (and
    // leaves TemporaryFile empty) when it could not.
    explicit ReplacementWriter(const std::filesystem::path& target);
    // Kills the child if it still lives.
    ~ReplacementWriter();
    ReplacementWriter(const ReplacementWriter&) = delete;
    ReplacementWriter& operator=(const ReplacementWriter&) = delete;

    // Kills the child with SIGKILL, which no writer can catch, and reaps it.
    void Kill();

    const std::filesystem::path& TemporaryFile() const { return temporary_; }

private:
    pid_t child_ = -1;
    std::filesystem::path temporary_;
};

} // namespace corvane::test
