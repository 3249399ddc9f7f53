#include "AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ToolError.h"

namespace tarvo::render {

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// The container libsndfile writes for a file extension, 0 if none. The
/// extensions are libsndfile's own list, plus the usual short forms.
int containerForExtension(std::string extension) {
    extension = lowerCase(extension);
    if (extension == "aif") extension = "aiff";
    if (extension == "wave") extension = "wav";
    if (extension == "oga") extension = "ogg";
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0) continue;
        if (info.extension && extension == info.extension) return info.format;
    }
    return 0;
}

int subtypeFor(SampleFormat format) {
    switch (format) {
        case SampleFormat::Pcm16: return SF_FORMAT_PCM_16;
        case SampleFormat::Pcm24: return SF_FORMAT_PCM_24;
        case SampleFormat::Pcm32: return SF_FORMAT_PCM_32;
        case SampleFormat::Float32: return SF_FORMAT_FLOAT;
        case SampleFormat::Float64: return SF_FORMAT_DOUBLE;
        case SampleFormat::KeepInput: break;
    }
    return 0;
}

std::string formatName(int format, int command) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, command, &info, sizeof info) != 0 || !info.name) return "unknown";
    return info.name;
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw processingError(path + " does not exist");
    if (std::filesystem::is_directory(path, error))
        throw processingError(path + " is a folder, not an audio file");
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_) {
        std::string reason = sf_strerror(nullptr);
        while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n' || reason.back() == ' '))
            reason.pop_back();
        throw processingError("cannot read " + path + ": " + reason);
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames;
    format_ = info.format;
    if (sampleRate_ <= 0 || channels_ <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw processingError(path + " has no usable sample rate or channels");
    }
}

AudioReader::~AudioReader() {
    if (file_) sf_close(file_);
}

std::int64_t AudioReader::read(double* interleaved, std::int64_t frames) {
    const sf_count_t count = sf_readf_double(file_, interleaved, frames);
    if (count < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw processingError("cannot read " + path_ + ": " + sf_strerror(file_));
    return count;
}

AudioWriter::AudioWriter(int descriptor, const std::string& name, int format, int channels,
                         int sampleRate)
    : name_(name) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (!file_) throw processingError("cannot write " + name + ": " + sf_strerror(nullptr));
    // Without this, integer formats would wrap samples beyond full scale.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_) sf_close(file_);
}

void AudioWriter::write(const double* interleaved, std::int64_t frames) {
    if (sf_writef_double(file_, interleaved, frames) != frames)
        throw processingError("cannot write " + name_ + ": " + sf_strerror(file_));
}

void AudioWriter::close() {
    sf_write_sync(file_);
    const int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0) throw processingError("cannot write " + name_ + ": " + sf_error_number(result));
}

int outputFormatFor(const std::string& path, int inputFormat, SampleFormat requested) {
    const std::string extension = std::filesystem::path(path).extension().string();
    int container = inputFormat & SF_FORMAT_TYPEMASK;
    if (!extension.empty()) {
        container = containerForExtension(extension.substr(1));
        if (!container)
            throw usageError("cannot write " + path + ": libsndfile knows no file type \"" +
                             extension + "\" (use .wav, .aiff, .flac, ...)");
    }
    const int subtype =
        requested == SampleFormat::KeepInput ? inputFormat & SF_FORMAT_SUBMASK : subtypeFor(requested);
    const int format = container | subtype;
    SF_INFO probe{};
    probe.format = format;
    probe.channels = 1;
    probe.samplerate = 44100;
    if (!sf_format_check(&probe))
        throw usageError("cannot write " + path + ": " + formatName(container, SFC_GET_FORMAT_INFO) +
                         " files cannot hold " + formatName(subtype, SFC_GET_FORMAT_INFO) +
                         " samples; choose others with --format");
    return format;
}

bool isIntegerFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return false;
        default:
            return true;
    }
}

std::string describeFormat(int format) {
    return formatName(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO) + ", " +
           formatName(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
}

}  // namespace tarvo::render
