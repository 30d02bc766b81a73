// The all-pass sections of a 2x half-band stage, laid out four to a group so
// that one 128-bit vector operation runs four sections at once.
//
// An all-pass section with coefficient a maps x to y = a * (x - y1) + x1
// (x1 and y1 being its previous input and output). A stage with N
// coefficients keeps (N + 3) / 4 groups of four coefficients, preceded by a
// leading group that holds only memories: the memory of group g is the
// previous output of group g, which is also the previous input (x1) of group
// g + 1, so the leading group holds the previous input vector of group 1.
//
// Coefficient i goes to group i / 4 + 1, lane (i ^ 1) & 3. Lanes 0 and 1 work
// on the current input sample (lane 0: branch B, coefficients 1, 5, ...;
// lane 1: branch A, coefficients 0, 4, ...) and lanes 2 and 3 carry on with
// what lanes 0 and 1 of the last group produced one sample earlier (lane 2:
// branch B, coefficients 3, 7, ...; lane 3: branch A, coefficients 2, 6,
// ...). Cascaded all-pass sections commute, so this order gives the usual
// response, one sample of the stage's lower rate late.
//
// When N is not a multiple of 4, the last group has lanes without a
// coefficient. They hold 1.0, which makes y = (x - y1) + x1 equal x in exact
// arithmetic, but in single precision that sum rounds, and as the section
// feeds its own output back with the sign flipped (a pole at z = -1) the
// rounding errors add up like a random walk: after 2^26 samples of
// full-scale noise the branch was 4e-4 off and still drifting. Those lanes
// are therefore masked to pass their input on untouched.
#pragma once

#include <xmmintrin.h>

#include <cassert>

namespace hiir {

struct alignas(16) StageDataSse {
  float coef[4];
  float mem[4];
};

// Helpers shared by the up and down stages with NC coefficients; the
// vectors live in registers for a whole block.
template <int NC>
class StageProcSse {
 public:
  static constexpr int kNbrCoefs = NC;
  static constexpr int kNbrGroups = (NC + 3) / 4;
  static constexpr int kNbrSlots = kNbrGroups + 1;  // Groups plus the leading memories.
  static constexpr bool kHasSpareLanes = (NC % 4) != 0;

  // Loads coefficient i into its lane. A lane that gets no coefficient holds
  // 1.0 (and is masked to an exact pass-through when processing).
  static void set_coefs(StageDataSse filter[], const double coef_arr[]) noexcept {
    for (int g = 1; g <= kNbrGroups; ++g) {
      for (int lane = 0; lane < 4; ++lane) {
        filter[g].coef[lane] = 1.0f;
      }
    }
    for (int i = 0; i < NC; ++i) {
      filter[i / 4 + 1].coef[(i ^ 1) & 3] = static_cast<float>(coef_arr[i]);
    }
  }

  static void clear_mem(StageDataSse filter[]) noexcept {
    for (int g = 0; g <= kNbrGroups; ++g) {
      for (int lane = 0; lane < 4; ++lane) {
        filter[g].mem[lane] = 0.0f;
      }
    }
  }

  // The state of a stage held in registers across a block loop.
  struct Regs {
    __m128 coef[kNbrSlots];
    __m128 mem[kNbrSlots];
    __m128 mask;
  };

  static void load(const StageDataSse filter[], Regs& regs) noexcept {
    for (int g = 0; g <= kNbrGroups; ++g) {
      regs.coef[g] = _mm_load_ps(filter[g].coef);
      regs.mem[g] = _mm_load_ps(filter[g].mem);
    }
    regs.mask = make_last_group_mask();
  }

  static void store(StageDataSse filter[], const Regs& regs) noexcept {
    for (int g = 0; g <= kNbrGroups; ++g) {
      _mm_store_ps(filter[g].mem, regs.mem[g]);
    }
  }

  // One sample: lanes 0 and 1 of in01 are the new input of lanes 0 and 1.
  // Returns the last group's output.
  static __m128 step(Regs& regs, __m128 in01) noexcept {
    return process_vec(regs.coef, regs.mem, make_input(in01, regs.mem), regs.mask);
  }

  // Builds the input vector: lanes 0 and 1 from in01 (its lanes 0 and 1),
  // lanes 2 and 3 from lanes 0 and 1 of the last group's previous output.
  static __m128 make_input(__m128 in01, const __m128 mem[]) noexcept {
    return _mm_shuffle_ps(in01, mem[kNbrGroups], _MM_SHUFFLE(1, 0, 1, 0));
  }

  // All bits set in the lanes of the last group that have a coefficient,
  // clear in the spare ones (lane l holds coefficient first + (l ^ 1)).
  static __m128 make_last_group_mask() noexcept {
    constexpr int first = (kNbrGroups - 1) * 4;
    alignas(16) static const unsigned int bits[4] = {
        first + 1 < NC ? ~0u : 0u,
        first + 0 < NC ? ~0u : 0u,
        first + 3 < NC ? ~0u : 0u,
        first + 2 < NC ? ~0u : 0u,
    };
    return _mm_load_ps(reinterpret_cast<const float*>(bits));
  }

  // Runs one input vector through every group and returns the last group's
  // output (which is also left in mem[kNbrGroups]). mask comes from
  // make_last_group_mask().
  static __m128 process_vec(const __m128 coef[], __m128 mem[], __m128 x, __m128 mask) noexcept {
    for (int g = 1; g <= kNbrGroups; ++g) {
      __m128 y = _mm_add_ps(_mm_mul_ps(coef[g], _mm_sub_ps(x, mem[g])), mem[g - 1]);
      if (kHasSpareLanes && g == kNbrGroups) {
        y = _mm_or_ps(_mm_and_ps(mask, y), _mm_andnot_ps(mask, x));
      }
      mem[g - 1] = x;
      x = y;
    }
    mem[kNbrGroups] = x;
    return x;
  }
};

}  // namespace hiir
