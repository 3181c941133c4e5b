// The engine's sample loop, arranged for speed, written once for any xsimd lane width and
// compiled once per instruction set (SSE2 everywhere, AVX2 where the CPU has it). Everything
// here has internal linkage, so each translation unit keeps its own copy.
//
// The signal runs in chunks of up to 64 samples:
// - the input high-pass, pre-delay and early-reflection taps run over the whole chunk; a tap
//   three or more samples back, in a line at least a chunk longer than the tap, only reads
//   samples that the chunk wrote before it and has not overwritten since, so each tap
//   runs a vector of samples at a time as a four-point filter, with weights computed once per
//   chunk where the read position's fraction holds still;
// - the allpass stages, which sit outside the feedback loop, run one stage at a time over the
//   chunk, reading their whole-sample delays directly (the cubic read is the identity there);
// - the modulated delays of the whole chunk come first, from a vectorised sine;
// - the feedback network reads its eight modulated lines (one load per line and a transpose)
//   for as many samples ahead as its shortest delay allows, so only the damping, mixing and
//   writes remain in the per-sample recursion;
// - per-block constants are computed once, outside the loops.
// Everything else is computed with the operations, in the order, of a plain sample-by-sample loop
// over the building blocks. The sine (within about a unit in the last place of the C library's)
// and the tap weights differ from that loop by rounding only. Every lane width computes the same
// values, and the output does not depend on the block length.
//
// A file including this must include <xsimd/xsimd.hpp> first; the AVX2 one defines
// QUOLBANE_KERNEL_AVX2 to 1.

#pragma once

#include "ReverbEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

// The AVX2 build of the loop below, defined in its own translation unit.
void processWithAvx2 (ReverbEngine& engine, float* left, float* right, bool stereo, int numSamples) noexcept;

namespace
{
constexpr int chunkSize = 64;
constexpr int maxTapSlots = 24; // the tap limit rounded up to whole vectors of up to eight

template <class A>
using Floats = xsimd::batch<float, A>;
template <class A>
using Ints = xsimd::batch<std::int32_t, A>;

#if !QUOLBANE_KERNEL_AVX2
// A register built from per-lane scalars (scalar stores read back as a vector would stall).
template <class F>
inline Floats<xsimd::sse2> lanesFrom (xsimd::sse2, F value) noexcept
{
    return _mm_setr_ps (value (0), value (1), value (2), value (3));
}

// Rows of four consecutive samples, one per lane (lane l's from rows[l] + at[l] - 1), turned
// into one register per row position.
inline void transposeRows (xsimd::sse2, const float* const* rows, const std::int32_t* at,
                           Floats<xsimd::sse2>* points) noexcept
{
    __m128 r0 = _mm_loadu_ps (rows[0] + at[0] - 1), r1 = _mm_loadu_ps (rows[1] + at[1] - 1),
           r2 = _mm_loadu_ps (rows[2] + at[2] - 1), r3 = _mm_loadu_ps (rows[3] + at[3] - 1);
    _MM_TRANSPOSE4_PS (r0, r1, r2, r3);
    points[0] = r0;
    points[1] = r1;
    points[2] = r2;
    points[3] = r3;
}

#else
// The same for AVX2. Only the AVX2 translation unit sees these, and it uses no SSE2 batches, so
// no inline function is compiled for two instruction sets.
template <class F>
inline Floats<xsimd::avx2> lanesFrom (xsimd::avx2, F value) noexcept
{
    return _mm256_setr_ps (value (0), value (1), value (2), value (3), value (4), value (5), value (6), value (7));
}

inline void transposeRows (xsimd::avx2, const float* const* rows, const std::int32_t* at,
                           Floats<xsimd::avx2>* points) noexcept
{
    // Lanes l and l + 4 share a register; the 4 x 4 transpose then runs in both halves at once.
    const auto pair = [rows, at] (int l)
    {
        return _mm256_insertf128_ps (_mm256_castps128_ps256 (_mm_loadu_ps (rows[l] + at[l] - 1)),
                                     _mm_loadu_ps (rows[l + 4] + at[l + 4] - 1), 1);
    };
    const __m256 r0 = pair (0), r1 = pair (1), r2 = pair (2), r3 = pair (3);
    const __m256 t0 = _mm256_unpacklo_ps (r0, r1), t1 = _mm256_unpackhi_ps (r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps (r2, r3), t3 = _mm256_unpackhi_ps (r2, r3);
    points[0] = _mm256_shuffle_ps (t0, t2, _MM_SHUFFLE (1, 0, 1, 0));
    points[1] = _mm256_shuffle_ps (t0, t2, _MM_SHUFFLE (3, 2, 3, 2));
    points[2] = _mm256_shuffle_ps (t1, t3, _MM_SHUFFLE (1, 0, 1, 0));
    points[3] = _mm256_shuffle_ps (t1, t3, _MM_SHUFFLE (3, 2, 3, 2));
}
#endif

template <class A>
inline Ints<A> laneNumbers() noexcept
{
    alignas (64) static constexpr std::int32_t numbers[8] = { 0, 1, 2, 3, 4, 5, 6, 7 };
    return Ints<A>::load_aligned (numbers);
}

// Catmull-Rom interpolation, operation for operation as DelayLine::readCubic.
template <class B>
inline B interpolate (B ym1, B y0, B y1, B y2, B t) noexcept
{
    const B c3 = (y0 - y1) * B (1.5f) + (y2 - ym1) * B (0.5f);
    const B c2 = ((ym1 - y0 * B (2.5f)) + (y1 + y1)) - y2 * B (0.5f);
    const B c1 = (y1 - ym1) * B (0.5f);
    return ((c3 * t + c2) * t + c1) * t + y0;
}

// sin (x) for the modulation angles, which lie in [0, 2 pi). The angle is reduced by the nearest
// multiple of pi, taken in three parts so that the reduction loses nothing at float precision,
// and the Taylor series to the 13th power (error below 7e-10 on [-pi/2, pi/2]) gives the rest.
// The result is within a unit or so in the last place of the C library's sine.
template <class A>
inline Floats<A> sine (Floats<A> x) noexcept
{
    using B = Floats<A>;
    const Ints<A> k = xsimd::nearbyint_as_int (x * B (0.31830987f));
    const B kf = xsimd::to_float (k);
    const B r = ((x - kf * B (3.140625f)) - kf * B (9.67502593994140625e-4f)) - kf * B (1.509957990978376432e-7f);
    const B r2 = r * r;
    B p (1.6059043836821614e-10f);
    p = p * r2 + B (-2.5052108385441720e-8f);
    p = p * r2 + B (2.7557319223985893e-6f);
    p = p * r2 + B (-1.9841269841269841e-4f);
    p = p * r2 + B (8.3333333333333333e-3f);
    p = p * r2 + B (-1.6666666666666667e-1f);
    const B s = (p * r2) * r + r;
    // sin (r + k pi) = (-1)^k sin (r): the parity of k becomes the sign bit.
    return s ^ xsimd::bitwise_cast<B> (k << 31);
}

// The delay clamp of DelayLine::readCubic: [2, size - 3], NaN to 2.
template <class B>
inline B clampDelay (B delay, B top) noexcept
{
    return xsimd::select (delay >= B (2.0f), xsimd::select (delay < top, delay, top), B (2.0f));
}

// Cubic reads of one register's lanes at their own clamped delays, all from lines of one size and
// one write position: lines' own buffers, or taps of one line.
template <class A>
struct LaneSource
{
    const float* data[Floats<A>::size];
    int mask;
    Floats<A> size;
};

template <class A>
inline Floats<A> readLanes (const LaneSource<A>& src, float writeIndex, Floats<A> clampedDelay) noexcept
{
    using B = Floats<A>;
    constexpr std::size_t width = B::size;
    B pos = B (writeIndex) - clampedDelay;
    pos = xsimd::select (pos < B (0.0f), pos + src.size, pos);
    const Ints<A> i = xsimd::to_int (pos);
    const B t = pos - xsimd::to_float (i);

    alignas (64) std::int32_t idx[width];
    i.store_aligned (idx);

    // Away from the buffer's ends each lane's four points are one unaligned load, and a
    // transpose turns the lanes' rows into one register per point.
    B points[4];
    if (xsimd::all ((i >= Ints<A> (1)) & (i <= Ints<A> (src.mask - 2))))
    {
        transposeRows (A{}, src.data, idx, points);
    }
    else
    {
        for (int offset = -1; offset <= 2; ++offset)
            points[offset + 1] = lanesFrom (A{}, [&src, &idx, offset] (std::size_t l)
                                            { return src.data[l][(idx[l] + offset) & src.mask]; });
    }
    return interpolate (points[0], points[1], points[2], points[3], t);
}

// Catmull-Rom weights of the points before, at, after and two after the read position, gain
// included: the early taps' cubic read as a four-point filter. Every tap path uses these, so the
// early sound does not depend on where the blocks and chunks fall.
template <class B>
struct TapWeights
{
    B wm1, w0, w1, w2;
};

template <class B>
inline TapWeights<B> tapWeights (B t, B g) noexcept
{
    const B t2 = t * t;
    const B t3 = t2 * t;
    return { ((t2 - B (0.5f) * t3) - B (0.5f) * t) * g, ((B (1.5f) * t3 - B (2.5f) * t2) + B (1.0f)) * g,
             ((B (2.0f) * t2 - B (1.5f) * t3) + B (0.5f) * t) * g, (B (0.5f) * t3 - B (0.5f) * t2) * g };
}

template <class B>
inline B applyWeights (const TapWeights<B>& w, B ym1, B y0, B y1, B y2) noexcept
{
    return ((w.wm1 * ym1 + w.w0 * y0) + w.w1 * y1) + w.w2 * y2;
}

// The four points and the fraction of cubic reads at one delay for a register's worth of
// consecutive writes, the first of them to slot w (before masking), as DelayLine::readCubicAt
// places them.
template <class A>
struct Points
{
    Floats<A> ym1, y0, y1, y2, t;
};

template <class A>
inline Points<A> pointsOf (const float* data, int size, int mask, int w, Floats<A> clampedDelay) noexcept
{
    using B = Floats<A>;
    constexpr int width = static_cast<int> (B::size);
    const B writes =
        lanesFrom (A{}, [w, mask] (int l) { return static_cast<float> ((w + l) & mask); });
    B pos = writes - clampedDelay;
    pos = xsimd::select (pos < B (0.0f), pos + B (static_cast<float> (size)), pos);
    const Ints<A> i = xsimd::to_int (pos);
    const B t = pos - xsimd::to_float (i);
    alignas (64) std::int32_t idx[B::size];
    i.store_aligned (idx);

    if (idx[0] >= 1 && idx[0] + width + 2 <= size && xsimd::all (i == Ints<A> (idx[0]) + laneNumbers<A>()))
    {
        const float* p = data + idx[0];
        return { B::load_unaligned (p - 1), B::load_unaligned (p), B::load_unaligned (p + 1), B::load_unaligned (p + 2),
                 t };
    }
    const auto at = [data, mask, &idx] (int offset)
    { return [data, mask, &idx, offset] (std::size_t l) { return data[(idx[l] + offset) & mask]; }; };
    return { lanesFrom (A{}, at (-1)), lanesFrom (A{}, at (0)), lanesFrom (A{}, at (1)), lanesFrom (A{}, at (2)), t };
}

// One early tap over a chunk whose samples are already written (a delay of three or more), a
// register of samples at a time, added to sum.
template <class A>
void addTap (const float* data, int size, int mask, int w0, int count, float delay, float gain, float* sum) noexcept
{
    using B = Floats<A>;
    const B d (delay);
    const B g (gain);
    for (int n = 0; n < count; n += static_cast<int> (B::size))
    {
        const Points<A> p = pointsOf<A> (data, size, mask, w0 + n + 1, d);
        const B v = applyWeights (tapWeights (p.t, g), p.ym1, p.y0, p.y1, p.y2);
        (B::load_aligned (sum + n) + v).store_aligned (sum + n);
    }
}

inline int binadeOf (float x) noexcept
{
    std::uint32_t bits;
    std::memcpy (&bits, &x, sizeof bits);
    return static_cast<int> (bits >> 23);
}

// The same tap where its read position has one fraction for the whole chunk, so the weights are
// computed once. That holds when the write index does not wrap and the positions are contiguous
// and lie in one binade: a float position keeps its fraction across a binade. Returns false
// where it does not hold.
template <class A>
bool addSteadyTap (const float* data, int size, int mask, int w0, int count, float delay, float gain,
                   float* sum) noexcept
{
    using B = Floats<A>;
    constexpr int width = static_cast<int> (B::size);
    if (w0 + count > mask)
        return false;
    const auto positionAt = [delay, size] (int w)
    {
        float pos = static_cast<float> (w) - delay;
        if (pos < 0.0f)
            pos += static_cast<float> (size);
        return pos;
    };
    const float first = positionAt (w0 + 1);
    const float last = positionAt (w0 + count);
    const int i = static_cast<int> (first);
    const int iLast = static_cast<int> (last);
    const float t = first - static_cast<float> (i);
    if (iLast - i != count - 1 || last - static_cast<float> (iLast) != t || binadeOf (first) != binadeOf (last) ||
        i < 1 || iLast + width + 1 >= size)
        return false;

    const TapWeights<B> weights = tapWeights (B (t), B (gain));
    const float* p = data + i;
    for (int n = 0; n < count; n += width)
    {
        const B v = applyWeights (weights, B::load_unaligned (p + n - 1), B::load_unaligned (p + n),
                                  B::load_unaligned (p + n + 1), B::load_unaligned (p + n + 2));
        (B::load_aligned (sum + n) + v).store_aligned (sum + n);
    }
    return true;
}

// One allpass stage over a chunk, in place. Whole-sample delays inside the line read directly.
template <class A>
void runStage (Allpass& stage, float* samples, int count) noexcept
{
    using B = Floats<A>;
    constexpr int width = static_cast<int> (B::size);
    const float delay = stage.delaySamples;
    const int size = stage.line.getSize();
    const bool wholeSample = delay >= 2.0f && delay <= static_cast<float> (size - 3) &&
                             delay == static_cast<float> (static_cast<int> (delay));
    if (!wholeSample)
    {
        for (int n = 0; n < count; ++n)
            samples[n] = stage.processSample (samples[n]);
        return;
    }

    const int d = static_cast<int> (delay);
    const float g = stage.gain;
    float* data = stage.line.data();
    const int mask = stage.line.getMask();
    int writeIndex = stage.line.getWriteIndex();

    // Runs in which neither the read nor the write position wraps need no masking.
    for (int n = 0; n < count;)
    {
        const int readIndex = (writeIndex - d) & mask;
        const int run = std::min ({ count - n, size - writeIndex, size - readIndex });
        float* write = data + writeIndex;
        const float* read = data + readIndex;
        float* x = samples + n;
        int i = 0;
        // A register at a time when the reads lie before all of its writes.
        if (d >= width)
        {
            const B gain (g);
            for (; i + width <= run; i += width)
            {
                const B delayed = B::load_unaligned (read + i);
                const B w = delayed * gain + B::load_unaligned (x + i);
                w.store_unaligned (write + i);
                (delayed - w * gain).store_unaligned (x + i);
            }
        }
        for (; i < run; ++i)
        {
            const float delayed = read[i];
            const float w = delayed * g + x[i];
            write[i] = w;
            x[i] = delayed - w * g;
        }
        n += run;
        writeIndex = (writeIndex + run) & mask;
    }
    stage.line.setWriteIndex (writeIndex);
}

// The eight feedback lanes in as many registers as the width needs.
template <class A>
using LineLanes = std::array<Floats<A>, ReverbEngine::numLines / Floats<A>::size>;

template <class A, typename Value>
LineLanes<A> loadLanes (Value value) noexcept
{
    alignas (64) float v[ReverbEngine::numLines];
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
        v[k] = value (k);
    LineLanes<A> lanes;
    for (std::size_t r = 0; r < lanes.size(); ++r)
        lanes[r] = Floats<A>::load_aligned (v + r * Floats<A>::size);
    return lanes;
}

template <class A, typename Store>
void storeLanes (const LineLanes<A>& lanes, Store store) noexcept
{
    alignas (64) float v[ReverbEngine::numLines];
    for (std::size_t r = 0; r < lanes.size(); ++r)
        lanes[r].store_aligned (v + r * Floats<A>::size);
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
        store (k, v[k]);
}

// The whole sample loop over a block; the caller checks the buffer and guards the output.
template <class A>
void processLanes (ReverbEngine& e, float* left, float* right, bool stereo, int numSamples) noexcept
{
    using B = Floats<A>;
    constexpr int width = static_cast<int> (B::size);
    constexpr std::size_t numLines = ReverbEngine::numLines;
    constexpr std::size_t registers = numLines / B::size;
    static_assert (maxTapSlots % width == 0);

    const auto sr = static_cast<float> (e.sampleRate);
    float preDelay = e.params.predelay * 0.001f * sr;
    preDelay = preDelay < 1.0f ? 1.0f : std::min (preDelay, 0.25f * sr);
    // A chunk is written before it is read, so a read must lie three or more samples back and
    // far enough from the line's end that the chunk's own writes have not wrapped onto it (short
    // lines, at very low rates); otherwise the samples run one at a time.
    const auto readsAfterChunk = [] (float delay, const DelayLine& line)
    { return delay >= 3.0f && delay <= static_cast<float> (line.getSize() - chunkSize); };
    const bool preDelayAhead = readsAfterChunk (preDelay, e.preDelayLine);
    const bool gateOn = e.currentCharacter.gateMs > 0.0f;
    const float earlyLevel = e.currentCharacter.earlyLevel;

    // Early taps: clamped once, padded to whole registers with silent taps.
    const int tapCount = std::clamp (e.earlyTapCount, 0, ReverbEngine::maxEarlyTaps);
    const int tapGroups = (tapCount + width - 1) / width;
    alignas (64) float tapDelay[maxTapSlots];
    alignas (64) float tapGain[maxTapSlots];
    const B earlyTop (static_cast<float> (e.earlyLine.getSize()) - 3.0f);
    for (int j = 0; j < tapGroups * width; ++j)
    {
        tapDelay[j] = j < tapCount ? e.earlyTapDelay[static_cast<std::size_t> (j)] : 2.0f;
        tapGain[j] = j < tapCount ? e.earlyTapGain[static_cast<std::size_t> (j)] : 0.0f;
    }
    for (int g = 0; g < tapGroups; ++g)
        clampDelay (B::load_aligned (tapDelay + width * g), earlyTop).store_aligned (tapDelay + width * g);
    bool tapsAhead = true;
    for (int j = 0; j < tapCount; ++j)
        tapsAhead = tapsAhead && readsAfterChunk (tapDelay[j], e.earlyLine);

    LaneSource<A> early{};
    for (auto& d : early.data)
        d = e.earlyLine.data();
    early.mask = e.earlyLine.getMask();
    early.size = B (static_cast<float> (e.earlyLine.getSize()));

    // The feedback lanes live in registers for the whole block. The eight lines are prepared,
    // cleared and written together, so they share one size and one write position.
    LineLanes<A> phase = loadLanes<A> ([&e] (std::size_t k) { return e.lfoPhase[k]; });
    const LineLanes<A> increment = loadLanes<A> ([&e] (std::size_t k) { return e.lfoIncrement[k]; });
    const LineLanes<A> baseDelay = loadLanes<A> ([&e] (std::size_t k) { return e.fdnDelay[k]; });
    const LineLanes<A> gain = loadLanes<A> ([&e] (std::size_t k) { return e.fdnGain[k]; });
    const LineLanes<A> coef = loadLanes<A> ([&e] (std::size_t k) { return e.fdnDamping[k].coef; });
    LineLanes<A> damped = loadLanes<A> ([&e] (std::size_t k) { return e.fdnDamping[k].z1; });
    const B depth (e.modDepthSamples);

    float* fdnData[numLines];
    for (std::size_t k = 0; k < numLines; ++k)
    {
        jassert (e.fdnLines[k].getSize() == e.fdnLines[0].getSize());
        jassert (e.fdnLines[k].getWriteIndex() == e.fdnLines[0].getWriteIndex());
        fdnData[k] = e.fdnLines[k].data();
    }
    const int fdnMask = e.fdnLines[0].getMask();
    int fdnWrite = e.fdnLines[0].getWriteIndex();
    const B fdnTop (static_cast<float> (e.fdnLines[0].getSize()) - 3.0f);
    std::array<LaneSource<A>, registers> fdnSource;
    for (std::size_t r = 0; r < registers; ++r)
    {
        for (std::size_t l = 0; l < B::size; ++l)
            fdnSource[r].data[l] = fdnData[r * B::size + l];
        fdnSource[r].mask = fdnMask;
        fdnSource[r].size = B (static_cast<float> (e.fdnLines[0].getSize()));
    }

    // Reads of sample n touch no slot that samples before n write in the same run while every
    // modulated delay exceeds the run length plus one; one sample at a time is always safe.
    float shortestDelay =
        *std::min_element (e.fdnDelay.begin(), e.fdnDelay.end()) - std::abs (e.modDepthSamples) - 1.0f;
    const int readAhead =
        shortestDelay >= 3.0f ? std::min (chunkSize, static_cast<int> (std::min (shortestDelay, 1.0e6f)) - 2) : 1;

    // Chunk buffers, padded so that vectors may run past the chunk's end.
    constexpr int padded = chunkSize + 8;
    alignas (64) float mono[padded], delayed[padded], diffused[padded];
    alignas (64) float earlyL[padded], earlyR[padded];
    alignas (64) float tap[maxTapSlots];
    alignas (64) float o[numLines], feedback[numLines];
    std::array<B, registers> delays[chunkSize], reads[chunkSize];

    for (int start = 0; start < numSamples; start += chunkSize)
    {
        const int count = std::min (chunkSize, numSamples - start);
        float* outL = left + start;
        float* outR = right + start;

        // Mono input and its high-pass.
        for (int n = 0; n < count; ++n)
        {
            const float x = (outR[n] + outL[n]) * 0.5f;
            mono[n] = x;
            diffused[n] = x - e.inputHighpass.processSample (x);
        }

        // Pre-delay: the read of each sample follows its write.
        if (preDelayAhead)
        {
            const int w0 = e.preDelayLine.getWriteIndex();
            e.preDelayLine.writeBlock (diffused, count);
            for (int n = 0; n < count; n += width)
            {
                const Points<A> p = pointsOf<A> (e.preDelayLine.data(), e.preDelayLine.getSize(),
                                                 e.preDelayLine.getMask(), w0 + n + 1, B (preDelay));
                interpolate (p.ym1, p.y0, p.y1, p.y2, p.t).store_aligned (delayed + n);
            }
        }
        else
        {
            for (int n = 0; n < count; ++n)
            {
                e.preDelayLine.write (diffused[n]);
                delayed[n] = e.preDelayLine.readCubic (preDelay);
            }
        }

        // Early reflections, summed in tap order per side.
        const int paddedCount = (count + width - 1) / width * width;
        std::fill (earlyL, earlyL + paddedCount, 0.0f);
        std::fill (earlyR, earlyR + paddedCount, 0.0f);
        if (tapsAhead)
        {
            const int w0 = e.earlyLine.getWriteIndex();
            e.earlyLine.writeBlock (delayed, count);
            const float* data = e.earlyLine.data();
            const int mask = e.earlyLine.getMask();
            const int size = e.earlyLine.getSize();
            for (int j = 0; j < tapCount; ++j)
            {
                float* sum = (j & 1) == 0 ? earlyL : earlyR;
                if (!addSteadyTap<A> (data, size, mask, w0, count, tapDelay[j], tapGain[j], sum))
                    addTap<A> (data, size, mask, w0, count, tapDelay[j], tapGain[j], sum);
            }
        }
        else
        {
            for (int n = 0; n < count; ++n)
            {
                e.earlyLine.write (delayed[n]);
                const auto earlyWrite = static_cast<float> (e.earlyLine.getWriteIndex());
                for (int g = 0; g < tapGroups; ++g)
                    (readLanes<A> (early, earlyWrite, B::load_aligned (tapDelay + width * g)) *
                     B::load_aligned (tapGain + width * g))
                        .store_aligned (tap + width * g);
                for (int j = 0; j < tapCount; j += 2)
                    earlyL[n] += tap[j];
                for (int j = 1; j < tapCount; j += 2)
                    earlyR[n] += tap[j];
            }
        }

        // Diffusion: no feedback reaches it, so each stage can run over the whole chunk.
        std::copy (delayed, delayed + count, diffused);
        for (int i = 0; i < std::clamp (e.activeDiffusers, 0, ReverbEngine::numDiffusers); ++i)
            runStage<A> (e.diffuserStages[static_cast<std::size_t> (i)], diffused, count);
        for (int i = 0; i < std::clamp (e.activeCoilStages, 0, ReverbEngine::numCoilStages); ++i)
            runStage<A> (e.coilStages[static_cast<std::size_t> (i)], diffused, count);

        // Modulated delays for the whole chunk: the oscillators depend on nothing else.
        for (int n = 0; n < count; ++n)
        {
            for (std::size_t r = 0; r < registers; ++r)
            {
                phase[r] = phase[r] + increment[r];
                phase[r] = xsimd::select (phase[r] >= B (1.0f), phase[r] - B (1.0f), phase[r]);
                delays[n][r] = clampDelay (sine<A> (phase[r] * B (6.2831855f)) * depth + baseDelay[r], fdnTop);
            }
        }

        for (int runStart = 0; runStart < count; runStart += readAhead)
        {
            const int runEnd = std::min (count, runStart + readAhead);

            // Feedback reads for the whole run, eight lanes.
            for (int n = runStart; n < runEnd; ++n)
            {
                const auto writePos = static_cast<float> ((fdnWrite + n - runStart) & fdnMask);
                for (std::size_t r = 0; r < registers; ++r)
                    reads[n][r] = readLanes<A> (fdnSource[r], writePos, delays[n][r]);
            }

            for (int n = runStart; n < runEnd; ++n)
            {
                // In-loop damping, Householder mixing summed in index order, and the feedback writes.
                for (std::size_t r = 0; r < registers; ++r)
                {
                    damped[r] = (reads[n][r] - damped[r]) * coef[r] + damped[r];
                    damped[r].store_aligned (o + r * B::size);
                }

                const float sum = ((((((o[0] + o[1]) + o[2]) + o[3]) + o[4]) + o[5]) + o[6]) + o[7];
                const B quarter (sum * 0.25f);
                const B a (diffused[n]);
                for (std::size_t r = 0; r < registers; ++r)
                    ((damped[r] - quarter) * gain[r] + a).store_aligned (feedback + r * B::size);
                for (std::size_t k = 0; k < numLines; ++k)
                    fdnData[k][fdnWrite] = feedback[k];
                fdnWrite = (fdnWrite + 1) & fdnMask;

                // Early and output low-passes, gate, width and mix.
                const float eL = e.earlyLowpassL.processSample (earlyL[n]);
                const float eR = e.earlyLowpassR.processSample (earlyR[n]);
                const float wL = (o[0] + o[2] - o[4] - o[6]) * 0.35f + earlyLevel * eL;
                const float wR = (o[1] - o[3] + o[5] - o[7]) * 0.35f + earlyLevel * eR;
                float wetL = e.outputLowpassL.processSample (wL);
                float wetR = e.outputLowpassR.processSample (wR);

                if (gateOn)
                {
                    const float ax = std::abs (mono[n]);
                    const float rate = ax > e.gateEnvelope ? 0.05f : ReverbEngine::gateEnvelopeFall;
                    e.gateEnvelope = e.gateEnvelope + (ax - e.gateEnvelope) * rate;

                    if (e.gateEnvelope > ReverbEngine::gateThreshold)
                        e.gateHoldCounter = e.gateHoldSamples;

                    if (e.gateHoldCounter > 0.0f)
                    {
                        e.gateHoldCounter = e.gateHoldCounter - 1.0f;
                        e.gateGain = e.gateGain + (1.0f - e.gateGain) * 0.08f;
                    }
                    else
                    {
                        e.gateGain = e.gateGain * e.gateReleaseCoef;
                    }

                    wetL = wetL * e.gateGain;
                    wetR = wetR * e.gateGain;
                }

                const float w = e.widthSmoother.getNextValue();
                const float m = e.mixSmoother.getNextValue();
                const float mid = (wetR + wetL) * 0.5f;
                const float side = (wetL - wetR) * 0.5f * w;

                const float dL = outL[n];
                const float dR = outR[n];
                outL[n] = (1.0f - m) * dL + m * (side + mid);
                if (stereo)
                    outR[n] = (1.0f - m) * dR + m * (mid - side);
            }
        }
    }

    storeLanes<A> (phase, [&e] (std::size_t k, float v) { e.lfoPhase[k] = v; });
    storeLanes<A> (damped, [&e] (std::size_t k, float v) { e.fdnDamping[k].z1 = v; });
    for (auto& line : e.fdnLines)
        line.setWriteIndex (fdnWrite);
}
}
