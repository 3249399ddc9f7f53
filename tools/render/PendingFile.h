#pragma once

#include <string>

namespace tarvo::render {

/// A file that appears under its final name only when complete. It is
/// written as a hidden temporary file in the destination's folder (so the
/// rename stays on one file system and is atomic) and renamed over the
/// destination by commit(). Until then the destination, if it exists, is
/// untouched. The temporary file is removed by the destructor, and by the
/// signal handlers installed here if the process is interrupted or crashes.
class PendingFile {
public:
    /// Creates the temporary file; throws a processing ToolError when the
    /// folder does not exist or is not writable.
    explicit PendingFile(const std::string& destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Descriptor of the open temporary file, for the writer.
    int descriptor() const { return descriptor_; }
    const std::string& destination() const { return destination_; }
    /// Flushes the data to disk, closes the file and renames it to the
    /// destination; throws a processing ToolError on failure.
    void commit();

private:
    void discard() noexcept;

    std::string destination_;
    std::string temporary_;
    int descriptor_ = -1;
    int slot_ = -1;  ///< entry in the signal handlers' table
    bool committed_ = false;
};

}  // namespace tarvo::render
