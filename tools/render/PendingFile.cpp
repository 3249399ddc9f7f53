#include "PendingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ToolError.h"

namespace tarvo::render {

namespace {

// Temporary files the signal handlers remove. A handler may only use
// async-signal-safe calls, so the paths live in fixed buffers and each
// slot is claimed and released through an atomic flag.
constexpr int kSlots = 4;
constexpr std::size_t kPathBytes = 4096;
char slotPaths[kSlots][kPathBytes];
std::atomic<bool> slotUsed[kSlots];

void removeTemporaryFiles() {
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i].load()) unlink(slotPaths[i]);
}

void writeError(const char* text) {
    const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

/// Interrupted: remove the temporary files, then end as the signal would.
extern "C" void onInterrupt(int signalNumber) {
    removeTemporaryFiles();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

/// A crash, most likely inside the plug-in: remove the temporary files and
/// end with the processing status.
extern "C" void onCrash(int signalNumber) {
    removeTemporaryFiles();
    const char* what = signalNumber == SIGSEGV   ? "a segmentation fault"
                       : signalNumber == SIGBUS  ? "a bus error"
                       : signalNumber == SIGFPE  ? "a floating-point exception"
                       : signalNumber == SIGILL  ? "an illegal instruction"
                                                 : "an abort";
    writeError("tarvo-render: processing ended with ");
    writeError(what);
    writeError("; no output file was written\n");
    _exit(kExitProcessing);
}

void installHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, onInterrupt);
    for (int signalNumber : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(signalNumber, onCrash);
}

int claimSlot(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i].load()) continue;
        std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
        slotUsed[i].store(true);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) slotUsed[slot].store(false);
}

/// The permissions a newly created file gets under the current umask.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

PendingFile::PendingFile(const std::string& destination) : destination_(destination) {
    installHandlers();
    namespace fs = std::filesystem;
    const fs::path target(destination);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    descriptor_ = mkstemp(buffer.data());
    if (descriptor_ < 0)
        throw processingError("cannot write in " + folder.string() + ": " + std::strerror(errno));
    temporary_ = buffer.data();
    slot_ = claimSlot(temporary_);
    // mkstemp creates the file readable by its owner only; the result should
    // get the permissions of any new file.
    fchmod(descriptor_, newFileMode());
}

PendingFile::~PendingFile() {
    if (!committed_) discard();
}

void PendingFile::discard() noexcept {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    releaseSlot(slot_);
    slot_ = -1;
}

void PendingFile::commit() {
    if (fsync(descriptor_) != 0 && errno != EINVAL)
        throw processingError("cannot write " + destination_ + ": " + std::strerror(errno));
    const int closed = close(descriptor_);
    descriptor_ = -1;
    if (closed != 0)
        throw processingError("cannot write " + destination_ + ": " + std::strerror(errno));
    if (std::rename(temporary_.c_str(), destination_.c_str()) != 0)
        throw processingError("cannot create " + destination_ + ": " + std::strerror(errno));
    committed_ = true;
    releaseSlot(slot_);
    slot_ = -1;
}

}  // namespace tarvo::render
