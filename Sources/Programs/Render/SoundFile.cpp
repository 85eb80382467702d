// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace lagwell::render {

namespace {

int containerOf(const std::string& path, int fallback) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".wav") return SF_FORMAT_WAV;
    if (ext == ".flac") return SF_FORMAT_FLAC;
    if (ext == ".aif" || ext == ".aiff") return SF_FORMAT_AIFF;
    return fallback;
}

}  // namespace

SoundFile SoundFile::openRead(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw FileError(path + ": " + sf_strerror(nullptr));
    if (info.channels < 1) {
        sf_close(file);
        throw FileError(path + ": no audio channels");
    }
    return SoundFile(path, file, info);
}

SoundFile SoundFile::create(const std::string& path, int sampleRate, int channels, const SoundFile& like) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    const int container = containerOf(path, like.format() & SF_FORMAT_TYPEMASK);
    info.format = container | (like.format() & SF_FORMAT_SUBMASK);
    if (!sf_format_check(&info)) {
        info.format = container | SF_FORMAT_PCM_24;
        if (!sf_format_check(&info)) info.format = container | SF_FORMAT_FLOAT;
        if (!sf_format_check(&info))
            throw FileError(path + ": cannot write " + std::to_string(channels) + " channels at " +
                            std::to_string(sampleRate) + " Hz in this format");
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw FileError(path + ": " + sf_strerror(nullptr));
    // Integer formats clip instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return SoundFile(path, file, info);
}

SoundFile::SoundFile(SoundFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_file(other.m_file), m_info(other.m_info) {
    other.m_file = nullptr;
}

SoundFile::~SoundFile() {
    if (m_file) sf_close(m_file);
}

int64_t SoundFile::read(float* interleaved, int64_t frames) { return sf_readf_float(m_file, interleaved, frames); }

int64_t SoundFile::read(double* interleaved, int64_t frames) { return sf_readf_double(m_file, interleaved, frames); }

void SoundFile::write(const float* interleaved, int64_t frames) {
    checkWritten(sf_writef_float(m_file, interleaved, frames), frames);
}

void SoundFile::write(const double* interleaved, int64_t frames) {
    checkWritten(sf_writef_double(m_file, interleaved, frames), frames);
}

void SoundFile::checkWritten(sf_count_t written, int64_t frames) {
    if (written != frames) throw FileError(m_path + ": write error (" + sf_strerror(m_file) + ")");
}

}  // namespace lagwell::render
