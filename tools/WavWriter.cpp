#include "WavWriter.h"

#include <sndfile.h>

namespace vxtools {

WavWriter::~WavWriter() {
  if (m_file) sf_close(m_file);
}

bool WavWriter::open(const std::string& path, int sampleRate, int channels, WavFormat format,
                     std::string& error) {
  std::string ignored;
  if (m_file) close(ignored);
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | (format == WavFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  if (!sf_format_check(&info)) {
    error = path + ": unsupported WAV layout";
    return false;
  }
  m_file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!m_file) {
    error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  // Without clipping libsndfile wraps overs in integer formats; a hot peak
  // must stay a clipped peak, not turn into a full-scale click of the other sign.
  if (format == WavFormat::Pcm24) sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  m_channels = channels;
  m_path = path;
  return true;
}

bool WavWriter::write(const float* interleaved, int64_t frames, std::string& error) {
  if (!m_file) {
    error = "no WAV file open";
    return false;
  }
  if (sf_writef_float(m_file, interleaved, frames) != frames) {
    error = m_path + ": " + sf_strerror(m_file);
    return false;
  }
  return true;
}

bool WavWriter::close(std::string& error) {
  if (!m_file) return true;
  const int rc = sf_close(m_file);
  m_file = nullptr;
  if (rc != 0) {
    error = m_path + ": " + sf_error_number(rc);
    return false;
  }
  return true;
}

bool readWavInfo(const std::string& path, WavInfo& out, std::string& error) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  sf_close(f);
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
    error = path + ": not a WAV file";
    return false;
  }
  out.frames = info.frames;
  out.sampleRate = info.samplerate;
  out.channels = info.channels;
  const int sub = info.format & SF_FORMAT_SUBMASK;
  out.isFloat = sub == SF_FORMAT_FLOAT;
  out.bitsPerSample = sub == SF_FORMAT_FLOAT ? 32 : sub == SF_FORMAT_PCM_24 ? 24 : 0;
  return true;
}

}  // namespace vxtools
