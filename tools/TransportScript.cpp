#include "TransportScript.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "MidiFeed.h"
#include "PluginHost.h"

namespace vxtools {

namespace {

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A whole token as a finite, non-negative decimal; from_chars ignores the
// locale, so "2,5" is never read as two and a half.
bool parseNumber(const std::string& token, double& value) {
  if (token.empty() || token[0] == '+' || token[0] == '-') return false;
  const char* end = token.data() + token.size();
  const auto [ptr, ec] = std::from_chars(token.data(), end, value, std::chars_format::fixed);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

}  // namespace

bool parseTransportScript(const std::string& text, std::vector<TransportCue>& cues, std::string& error) {
  cues.clear();
  if (trim(text).empty()) {
    error = "empty transport script";
    return false;
  }
  size_t start = 0;
  for (int index = 1;; ++index) {
    const size_t comma = text.find(',', start);
    const std::string item =
        trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    const std::string where = "cue " + std::to_string(index) + " \"" + item + "\": ";

    const size_t colon = item.find(':');
    if (colon == std::string::npos) {
      error = where + "expected TIME:ACTION";
      return false;
    }
    TransportCue cue;
    if (!parseNumber(trim(item.substr(0, colon)), cue.beat)) {
      error = where + "the time must be a non-negative number of beats";
      return false;
    }
    std::string action = trim(item.substr(colon + 1));
    const size_t atSign = action.find('@');
    if (atSign != std::string::npos) {
      if (!parseNumber(trim(action.substr(atSign + 1)), cue.ppq)) {
        error = where + "the position after '@' must be a non-negative number of beats";
        return false;
      }
      cue.locate = true;
      action = trim(action.substr(0, atSign));
    }
    if (action == "play") {
      cue.play = true;
    } else if (action != "stop") {
      error = where + "the action must be play or stop";
      return false;
    }
    if (!cues.empty() && !(cue.beat > cues.back().beat)) {
      error = where + "times must rise from cue to cue";
      return false;
    }
    cues.push_back(cue);

    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

int64_t beatsToFrames(double beats, double sampleRate, double bpm) {
  if (!(beats > 0.0) || !(sampleRate > 0.0) || !(bpm > 0.0)) return 0;
  const long double frames = static_cast<long double>(beats) * 60.0L * sampleRate / bpm;
  if (frames >= 9.0e18L) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(std::floor(frames + 0.5L));
}

TransportSchedule::TransportSchedule(const std::vector<TransportCue>& cues, double sampleRate, double bpm) {
  for (const TransportCue& cue : cues) m_cues.push_back({beatsToFrames(cue.beat, sampleRate, bpm), cue});
}

void TransportSchedule::applyDue(int64_t frame, PluginHost& host) {
  while (m_next < m_cues.size() && m_cues[m_next].frame <= frame) {
    const TransportCue& cue = m_cues[m_next++].cue;
    Transport t = host.transport();
    t.playing = cue.play;
    host.setTransport(t);
    if (cue.locate) host.locate(cue.ppq);
  }
}

int64_t TransportSchedule::nextFrame() const {
  return m_next < m_cues.size() ? m_cues[m_next].frame : kNever;
}

int prepareBlock(PluginHost& host, TransportSchedule& schedule, MidiFeed& feed, int64_t start,
                 int64_t remaining, int blockSize) {
  schedule.applyDue(start, host);
  const int64_t limit = std::min({static_cast<int64_t>(blockSize), remaining, schedule.nextFrame() - start});
  return feed.queueBlock(host, start, static_cast<int>(std::max<int64_t>(limit, 1)));
}

}  // namespace vxtools
