// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Audio files through libsndfile: interleaved frames of float or double.

#include <sndfile.h>

#include <cstdint>
#include <string>

#include "FileError.h"

namespace lagwell::render {

class SoundFile {
public:
    static SoundFile openRead(const std::string& path);
    // The container follows the file name's extension (.wav, .flac, .aif,
    // .aiff), else it is that of `like`; the sample format is that of `like`
    // when the container takes it, else 24-bit integers or floats.
    static SoundFile create(const std::string& path, int sampleRate, int channels, const SoundFile& like);

    SoundFile(SoundFile&& other) noexcept;
    SoundFile& operator=(SoundFile&&) = delete;
    ~SoundFile();

    const std::string& path() const { return m_path; }
    int sampleRate() const { return m_info.samplerate; }
    int channels() const { return m_info.channels; }
    int64_t frames() const { return m_info.frames; }
    int format() const { return m_info.format; }

    // Reads up to `frames` frames; fewer only at the end of the file.
    int64_t read(float* interleaved, int64_t frames);
    int64_t read(double* interleaved, int64_t frames);
    void write(const float* interleaved, int64_t frames);
    void write(const double* interleaved, int64_t frames);

private:
    SoundFile(std::string path, SNDFILE* file, const SF_INFO& info)
        : m_path(std::move(path)), m_file(file), m_info(info) {}
    void checkWritten(sf_count_t written, int64_t frames);

    std::string m_path;
    SNDFILE* m_file;
    SF_INFO m_info;
};

}  // namespace lagwell::render
