#pragma once

#include <cstdint>
#include <string>

#include "Options.h"

struct sf_private_tag;

namespace tarvo::render {

/// An audio file opened for reading through libsndfile (WAV, AIFF, FLAC and
/// the other formats it knows). Samples come out as doubles, integer
/// formats scaled to -1..1.
class AudioReader {
public:
    /// Opens the file; throws a processing ToolError naming the file and the
    /// reason when it is missing, unreadable or not audio.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const std::string& path() const { return path_; }
    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }
    std::int64_t frames() const { return frames_; }
    /// libsndfile's SF_FORMAT_* code: container and sample format.
    int format() const { return format_; }

    /// Reads up to `frames` frames, interleaved; returns the number read (0
    /// at the end). Throws a processing ToolError on a read error.
    std::int64_t read(double* interleaved, std::int64_t frames);

private:
    std::string path_;
    sf_private_tag* file_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
    int format_ = 0;
};

/// An audio file written through libsndfile into an open descriptor (a
/// PendingFile's). Integer formats clip samples beyond full scale instead
/// of wrapping them.
class AudioWriter {
public:
    /// `name` is the file's name for messages. Throws a processing ToolError.
    AudioWriter(int descriptor, const std::string& name, int format, int channels,
                int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const double* interleaved, std::int64_t frames);
    /// Completes the file (header sizes); throws on failure.
    void close();

private:
    std::string name_;
    sf_private_tag* file_ = nullptr;
};

/// The SF_FORMAT_* code for writing `path`: the container from its
/// extension (the input's container when it has none), the sample format
/// from `requested`, else `inputFormat`'s. Throws a usage ToolError for an
/// unknown extension or a sample format the container cannot hold.
int outputFormatFor(const std::string& path, int inputFormat, SampleFormat requested);

/// True when the format stores integers, which cannot hold levels above
/// full scale.
bool isIntegerFormat(int format);

/// A short description such as "WAV, 24-bit PCM".
std::string describeFormat(int format);

}  // namespace tarvo::render
