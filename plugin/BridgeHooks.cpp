// What the instrument tells its editor: the shared block's writers and the
// messages to the editor program. The writers are plain memory writes and
// the messages go into the bridge's lock-free ring, so all of this may run
// on the audio thread.
#include <cstring>

#include "editorbridge/Krennet3Editor.h"
#include "plugin/Tolvane.h"

void Tolvane::updateParameterData() {
  for (int i = 0; i < kNumParameters; ++i) m_sharedBlock.writeParameterValue(i, getParameter(i));
}

void Tolvane::updatePatternData() { m_sharedBlock.writePatterns(m_seq.song()); }

void Tolvane::updatePluginData() {
  m_sharedBlock.writeCurrentPattern(m_seq.m_currentPatternIndex);
  m_sharedBlock.writeHostPlaying(m_seq.m_hostPlaying);
  m_sharedBlock.writeInternalRunning(m_seq.m_internalPlaying);
  m_sharedBlock.writeTempo(m_seq.m_hostTempo);
  m_sharedBlock.writeSyncType(m_seq.m_syncType);
}

void Tolvane::editorUpdateDisplay() {
  if (m_bridge) m_bridge->updateDisplay();
}

void Tolvane::publishParameterText(int index) {
  // The display text goes through a buffer of our own first: the block's
  // field holds 16 bytes, and an index that displays nothing keeps the
  // field as it is.
  char text[64];
  text[0] = '\x7f';
  text[1] = 0;
  getParameterDisplay(index, text);
  if (!(text[0] == '\x7f' && text[1] == 0)) m_sharedBlock.writeParameterText(index, text);
}

void Tolvane::publishParameter(int index, float value) {
  m_sharedBlock.writeParameterValue(index, value);
  publishParameterText(index);
  if (m_bridge) m_bridge->setParameter(index, value);
}

void Tolvane::algorithmChanged(void* instrument, int algorithm) {
  Tolvane* self = static_cast<Tolvane*>(instrument);
  if (self->m_bridge) self->m_bridge->dispatcher(kPluginAlgorithm, algorithm, 0, 0.0f);
}

void Tolvane::sequencerPatternChanged() {
  updatePatternData();
  updatePluginData();
  editorUpdateDisplay();
}

void Tolvane::sequencerStatusChanged() { updatePluginData(); }

void Tolvane::sequencerPatternsEdited() {
  updatePatternData();
  editorUpdateDisplay();
}

void Tolvane::engineStepStarted(int step) {
  if (m_bridge) m_bridge->processStep(step);
}

void Tolvane::engineTransportMessage(int status) {
  if (m_bridge) m_bridge->sendMidiMessage(status, 0, 0);
}
