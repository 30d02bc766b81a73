// How the pattern tools reach the instrument's parameters. The sound
// randomiser must go through the same setter as the host and the editor, so
// that each new value is mapped, published to the editor and reported to the
// host exactly like a knob turn; the instrument implements this interface
// with its own setParameter.
#pragma once

struct ParameterSetter {
  virtual ~ParameterSetter() = default;
  // index 0..28, value normalised 0..1.
  virtual void setParameter(int index, float value) = 0;
};
