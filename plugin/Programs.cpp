// The single program slot and the state chunk the host saves with its
// project.
#include <algorithm>
#include <cmath>

#include "plugin/StateChunk.h"
#include "plugin/Tolvane.h"

VstInt32 Tolvane::getChunk(void** data, bool) {
  std::array<float, StateChunk::kNumValues> values;
  for (int i = 0; i < StateChunk::kNumValues; ++i) values[static_cast<size_t>(i)] = getParameter(i);
  writeStateChunk(values, m_seq.song(), m_chunk);
  *data = m_chunk.data();
  return static_cast<VstInt32>(m_chunk.size());
}

VstInt32 Tolvane::setChunk(void* data, VstInt32 size, bool) {
  if (!data || size <= 0) return 0;
  return restoreState(static_cast<const uint8_t*>(data), static_cast<size_t>(size)) ? 1 : 0;
}

bool Tolvane::restoreState(const uint8_t* data, size_t size) {
  // Validate everything before touching anything: a damaged chunk must not
  // cost the user the patterns already in the instrument.
  StateChunk state;
  if (!readStateChunk(data, size, state)) return false;

  Song& song = m_seq.song();
  for (const ChunkPattern& record : state.patterns) {
    if (Pattern* pattern = song.getPattern(record.index)) applyChunkPattern(record, *pattern);
  }
  // The restored current pattern carries the length, so "NB STEP" is not
  // set; "trigger pt" names the pattern that was current when saved.
  for (int i = 0; i < StateChunk::kNumValues; ++i) {
    const float value = state.values[static_cast<size_t>(i)];
    if (i == kNbStep) continue;
    if (i == kTriggerPattern) {
      const float v = std::isnan(value) ? 0.0f : std::min(std::max(value, 0.0f), 1.0f);
      const int index = static_cast<int>(32.0f * v);
      m_seq.selectPattern(index < Song::kNumPatterns ? index : Song::kNumPatterns - 1);
      continue;
    }
    setParameter(i, value);
  }
  m_seq.setStepLength();
  // The editor shows the restored instrument: every pattern and value.
  updatePatternData();
  updateParameterData();
  updatePluginData();
  editorUpdateDisplay();
  return true;
}
