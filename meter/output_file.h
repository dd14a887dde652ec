// A file written once the measurement is done, opened before it starts so that a path that
// cannot be written is found at once, and removed again when it cannot be written whole.
#pragma once

#include <string>

namespace wobblemeter {

class OutputFile {
public:
    // Opens path for writing, creating it when it does not exist; an existing file keeps its
    // contents until Write. `what` names the file in messages: "cannot write WHAT PATH: reason"
    // (a MeterError).
    OutputFile(const std::string& path, const std::string& what);
    // Removes a file this object created and never completed (the measurement failed).
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Replaces the file's contents with bytes and closes it. When that fails (a full disk) a
    // regular file is removed, so that no truncated plot stays, and MeterError is thrown. Devices
    // and pipes are written in place and never removed.
    void Write(const std::string& bytes);

    const std::string& Path() const { return path_; }

private:
    void Remove();

    std::string path_;
    std::string what_;
    std::string target_;  // path_ with its symbolic links resolved: what gets removed
    int fd_ = -1;
    bool created_ = false;
    bool regular_ = false;
    bool done_ = false;
};

}  // namespace wobblemeter
