// Writes interleaved float audio to a WAV file through libsndfile, as 32-bit
// float or 24-bit PCM (clipped to full scale), and reads back the basic facts
// of a WAV file for checks.
#pragma once

#include <cstdint>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace vxtools {

enum class WavFormat { Float32, Pcm24 };

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path, int sampleRate, int channels, WavFormat format,
            std::string& error);
  // frames × channels interleaved samples.
  bool write(const float* interleaved, int64_t frames, std::string& error);
  bool close(std::string& error);
  bool isOpen() const { return m_file != nullptr; }

 private:
  SNDFILE* m_file = nullptr;
  int m_channels = 0;
  std::string m_path;
};

struct WavInfo {
  int64_t frames = 0;
  int sampleRate = 0;
  int channels = 0;
  bool isFloat = false;
  int bitsPerSample = 0;  // 32 for float, 24 for 24-bit PCM, 0 for anything else
};

bool readWavInfo(const std::string& path, WavInfo& info, std::string& error);

}  // namespace vxtools
