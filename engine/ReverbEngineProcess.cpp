// The engine's sample loop, arranged for speed. The signal runs in chunks of up to 64 samples:
// - the input high-pass, pre-delay and early-reflection taps run over the whole chunk; a tap
//   three or more samples back only reads samples that the chunk wrote before it, so each tap
//   runs four samples at a time as a four-point filter, with weights computed once per chunk
//   where the read position's fraction holds still;
// - the allpass stages, which sit outside the feedback loop, run one stage at a time over the
//   chunk, reading their whole-sample delays directly (the cubic read is the identity there);
// - the modulated delays of the whole chunk come first, from a vectorised sine;
// - the feedback network reads its eight modulated lines (two 4-lane SSE2 vectors, one unaligned
//   load per line and a transpose) for as many samples ahead as its shortest delay allows, so
//   only the damping, mixing and writes remain in the per-sample recursion;
// - per-block constants are computed once, outside the loops.
// Everything else is computed with the operations, in the order, of a plain sample-by-sample loop
// over the building blocks. The sine (within about a unit in the last place of the C library's)
// and the tap weights differ from that loop by rounding only; the output does not depend on the
// block length.

#include "ReverbEngine.h"

#include <xsimd/xsimd.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
using f4 = xsimd::batch<float, xsimd::sse2>;
using i4 = xsimd::batch<std::int32_t, xsimd::sse2>;

constexpr int chunkSize = 64;
constexpr int maxTapSlots = 20; // the tap limit, already a multiple of four

inline f4 lanesOf (float a, float b, float c, float d) noexcept
{
    return f4 (_mm_setr_ps (a, b, c, d));
}

// Catmull-Rom interpolation, operation for operation as DelayLine::readCubic.
inline f4 interpolate (f4 ym1, f4 y0, f4 y1, f4 y2, f4 t) noexcept
{
    const f4 c3 = (y0 - y1) * f4 (1.5f) + (y2 - ym1) * f4 (0.5f);
    const f4 c2 = ((ym1 - y0 * f4 (2.5f)) + (y1 + y1)) - y2 * f4 (0.5f);
    const f4 c1 = (y1 - ym1) * f4 (0.5f);
    return ((c3 * t + c2) * t + c1) * t + y0;
}

// sin (x) for the modulation angles, which lie in [0, 2 pi). The angle is reduced by the nearest
// multiple of pi, taken in three parts so that the reduction loses nothing at float precision,
// and the Taylor series to the 13th power (error below 7e-10 on [-pi/2, pi/2]) gives the rest.
// The result is within a unit or so in the last place of the C library's sine.
inline f4 sine (f4 x) noexcept
{
    const i4 k = xsimd::nearbyint_as_int (x * f4 (0.31830987f));
    const f4 kf = xsimd::to_float (k);
    const f4 r = ((x - kf * f4 (3.140625f)) - kf * f4 (9.67502593994140625e-4f)) - kf * f4 (1.509957990978376432e-7f);
    const f4 r2 = r * r;
    f4 p (1.6059043836821614e-10f);
    p = p * r2 + f4 (-2.5052108385441720e-8f);
    p = p * r2 + f4 (2.7557319223985893e-6f);
    p = p * r2 + f4 (-1.9841269841269841e-4f);
    p = p * r2 + f4 (8.3333333333333333e-3f);
    p = p * r2 + f4 (-1.6666666666666667e-1f);
    const f4 s = (p * r2) * r + r;
    // sin (r + k pi) = (-1)^k sin (r): the parity of k becomes the sign bit.
    return s ^ xsimd::bitwise_cast<f4> (k << 31);
}

// The delay clamp of DelayLine::readCubic: [2, size - 3], NaN to 2.
inline f4 clampDelay (f4 delay, f4 top) noexcept
{
    return xsimd::select (delay >= f4 (2.0f), xsimd::select (delay < top, delay, top), f4 (2.0f));
}

// Cubic reads of four lanes at their own clamped delays, all from lines of one size and one
// write position: the lines' own buffers, or four taps of one line.
struct LaneSource
{
    const float* data[4];
    int mask;
    f4 size;
};

inline f4 readLanes (const LaneSource& src, float writeIndex, f4 clampedDelay) noexcept
{
    f4 pos = f4 (writeIndex) - clampedDelay;
    pos = xsimd::select (pos < f4 (0.0f), pos + src.size, pos);
    const i4 i = xsimd::to_int (pos);
    const f4 t = pos - xsimd::to_float (i);

    alignas (16) std::int32_t idx[4];
    i.store_aligned (idx);

    // Away from the buffer's ends each lane's four points are one unaligned load; a 4 x 4
    // transpose turns the lanes' point rows into one register per point.
    if (xsimd::all ((i >= i4 (1)) & (i <= i4 (src.mask - 2))))
    {
        __m128 r0 = _mm_loadu_ps (src.data[0] + idx[0] - 1);
        __m128 r1 = _mm_loadu_ps (src.data[1] + idx[1] - 1);
        __m128 r2 = _mm_loadu_ps (src.data[2] + idx[2] - 1);
        __m128 r3 = _mm_loadu_ps (src.data[3] + idx[3] - 1);
        _MM_TRANSPOSE4_PS (r0, r1, r2, r3);
        return interpolate (f4 (r0), f4 (r1), f4 (r2), f4 (r3), t);
    }

    // Registers built from scalars: four scalar stores read back as one vector would stall.
    const auto at = [&src, &idx] (int l, int offset) { return src.data[l][(idx[l] + offset) & src.mask]; };
    const f4 ym1 = lanesOf (at (0, -1), at (1, -1), at (2, -1), at (3, -1));
    const f4 y0 = lanesOf (at (0, 0), at (1, 0), at (2, 0), at (3, 0));
    const f4 y1 = lanesOf (at (0, 1), at (1, 1), at (2, 1), at (3, 1));
    const f4 y2 = lanesOf (at (0, 2), at (1, 2), at (2, 2), at (3, 2));
    return interpolate (ym1, y0, y1, y2, t);
}

// Catmull-Rom weights of the points before, at, after and two after the read position, gain
// included: the early taps' cubic read as a four-point filter. Every tap path uses these, so the
// early sound does not depend on where the blocks and chunks fall.
struct TapWeights
{
    f4 wm1, w0, w1, w2;
};

inline TapWeights tapWeights (f4 t, f4 g) noexcept
{
    const f4 t2 = t * t;
    const f4 t3 = t2 * t;
    return { ((t2 - f4 (0.5f) * t3) - f4 (0.5f) * t) * g,
             ((f4 (1.5f) * t3 - f4 (2.5f) * t2) + f4 (1.0f)) * g,
             ((f4 (2.0f) * t2 - f4 (1.5f) * t3) + f4 (0.5f) * t) * g,
             (f4 (0.5f) * t3 - f4 (0.5f) * t2) * g };
}

inline f4 applyWeights (const TapWeights& w, f4 ym1, f4 y0, f4 y1, f4 y2) noexcept
{
    return ((w.wm1 * ym1 + w.w0 * y0) + w.w1 * y1) + w.w2 * y2;
}

// The four points and the fraction of cubic reads at one delay for four consecutive writes,
// the first of them to slot w (before masking), as DelayLine::readCubicAt places them.
struct Points
{
    f4 ym1, y0, y1, y2, t;
};

inline Points pointsOf (const float* data, int size, int mask, int w, f4 clampedDelay) noexcept
{
    const f4 writes = lanesOf (static_cast<float> (w & mask), static_cast<float> ((w + 1) & mask),
                               static_cast<float> ((w + 2) & mask), static_cast<float> ((w + 3) & mask));
    const f4 sizeLanes (static_cast<float> (size));
    f4 pos = writes - clampedDelay;
    pos = xsimd::select (pos < f4 (0.0f), pos + sizeLanes, pos);
    const i4 i = xsimd::to_int (pos);
    const f4 t = pos - xsimd::to_float (i);
    alignas (16) std::int32_t idx[4];
    i.store_aligned (idx);

    if (idx[1] == idx[0] + 1 && idx[2] == idx[0] + 2 && idx[3] == idx[0] + 3 && idx[0] >= 1 && idx[0] + 5 < size)
    {
        const float* p = data + idx[0];
        return { f4::load_unaligned (p - 1), f4::load_unaligned (p), f4::load_unaligned (p + 1),
                 f4::load_unaligned (p + 2), t };
    }
    const auto at = [data, mask, &idx] (int l, int offset) { return data[(idx[l] + offset) & mask]; };
    return { lanesOf (at (0, -1), at (1, -1), at (2, -1), at (3, -1)), lanesOf (at (0, 0), at (1, 0), at (2, 0), at (3, 0)),
             lanesOf (at (0, 1), at (1, 1), at (2, 1), at (3, 1)), lanesOf (at (0, 2), at (1, 2), at (2, 2), at (3, 2)),
             t };
}

// One early tap over a chunk whose samples are already written (a delay of three or more), four
// samples at a time, added to sum.
void addTap (const float* data, int size, int mask, int w0, int count, float delay, float gain, float* sum) noexcept
{
    const f4 d (delay);
    const f4 g (gain);
    for (int n = 0; n < count; n += 4)
    {
        const Points p = pointsOf (data, size, mask, w0 + n + 1, d);
        const f4 v = applyWeights (tapWeights (p.t, g), p.ym1, p.y0, p.y1, p.y2);
        (f4::load_aligned (sum + n) + v).store_aligned (sum + n);
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
bool addSteadyTap (const float* data, int size, int mask, int w0, int count, float delay, float gain,
                   float* sum) noexcept
{
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
        i < 1 || iLast + 5 >= size)
        return false;

    const TapWeights weights = tapWeights (f4 (t), f4 (gain));
    const float* p = data + i;
    for (int n = 0; n < count; n += 4)
    {
        const f4 v = applyWeights (weights, f4::load_unaligned (p + n - 1), f4::load_unaligned (p + n),
                                   f4::load_unaligned (p + n + 1), f4::load_unaligned (p + n + 2));
        (f4::load_aligned (sum + n) + v).store_aligned (sum + n);
    }
    return true;
}

// One allpass stage over a chunk, in place. Whole-sample delays inside the line read directly.
void runStage (Allpass& stage, float* samples, int count) noexcept
{
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
        // Four at a time when the reads lie before all four writes.
        if (d >= 4)
        {
            const f4 gain (g);
            for (; i + 4 <= run; i += 4)
            {
                const f4 delayed = f4::load_unaligned (read + i);
                const f4 w = delayed * gain + f4::load_unaligned (x + i);
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

struct Lanes
{
    f4 low, high;
};

template <typename Value>
Lanes loadLanes (Value value) noexcept
{
    alignas (16) float v[ReverbEngine::numLines];
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
        v[k] = value (k);
    return { f4::load_aligned (v), f4::load_aligned (v + 4) };
}

template <typename Store>
void storeLanes (const Lanes& lanes, Store store) noexcept
{
    alignas (16) float v[ReverbEngine::numLines];
    lanes.low.store_aligned (v);
    lanes.high.store_aligned (v + 4);
    for (std::size_t k = 0; k < ReverbEngine::numLines; ++k)
        store (k, v[k]);
}
}

void ReverbEngine::process (juce::AudioBuffer<float>& buffer) noexcept
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    if (numChannels <= 0 || numSamples <= 0 || !isPrepared())
        return;

    float* left = buffer.getWritePointer (0);
    float* right = numChannels > 1 ? buffer.getWritePointer (1) : left;
    const bool stereo = numChannels > 1;

    const auto sr = static_cast<float> (sampleRate);
    float preDelay = params.predelay * 0.001f * sr;
    preDelay = preDelay < 1.0f ? 1.0f : std::min (preDelay, 0.25f * sr);
    const bool preDelayAhead = preDelay >= 3.0f && preDelay <= static_cast<float> (preDelayLine.getSize()) - 3.0f;
    const bool gateOn = currentCharacter.gateMs > 0.0f;
    const float earlyLevel = currentCharacter.earlyLevel;

    // Early taps: clamped once, padded to whole groups of four with silent taps.
    const int tapCount = std::clamp (earlyTapCount, 0, maxEarlyTaps);
    const int tapGroups = (tapCount + 3) / 4;
    alignas (16) float tapDelay[maxTapSlots];
    alignas (16) float tapGain[maxTapSlots];
    const f4 earlyTop (static_cast<float> (earlyLine.getSize()) - 3.0f);
    for (int j = 0; j < tapGroups * 4; ++j)
    {
        tapDelay[j] = j < tapCount ? earlyTapDelay[static_cast<std::size_t> (j)] : 2.0f;
        tapGain[j] = j < tapCount ? earlyTapGain[static_cast<std::size_t> (j)] : 0.0f;
    }
    for (int g = 0; g < tapGroups; ++g)
        clampDelay (f4::load_aligned (tapDelay + 4 * g), earlyTop).store_aligned (tapDelay + 4 * g);
    bool tapsAhead = true;
    for (int j = 0; j < tapCount; ++j)
        tapsAhead = tapsAhead && tapDelay[j] >= 3.0f;

    LaneSource early{};
    for (auto& d : early.data)
        d = earlyLine.data();
    early.mask = earlyLine.getMask();
    early.size = f4 (static_cast<float> (earlyLine.getSize()));

    // The feedback lanes live in registers for the whole block. The eight lines are prepared,
    // cleared and written together, so they share one size and one write position.
    Lanes phase = loadLanes ([this] (std::size_t k) { return lfoPhase[k]; });
    const Lanes increment = loadLanes ([this] (std::size_t k) { return lfoIncrement[k]; });
    const Lanes baseDelay = loadLanes ([this] (std::size_t k) { return fdnDelay[k]; });
    const Lanes gain = loadLanes ([this] (std::size_t k) { return fdnGain[k]; });
    const Lanes coef = loadLanes ([this] (std::size_t k) { return fdnDamping[k].coef; });
    Lanes damped = loadLanes ([this] (std::size_t k) { return fdnDamping[k].z1; });
    const f4 depth (modDepthSamples);

    float* fdnData[numLines];
    for (std::size_t k = 0; k < numLines; ++k)
    {
        jassert (fdnLines[k].getSize() == fdnLines[0].getSize());
        jassert (fdnLines[k].getWriteIndex() == fdnLines[0].getWriteIndex());
        fdnData[k] = fdnLines[k].data();
    }
    const int fdnMask = fdnLines[0].getMask();
    int fdnWrite = fdnLines[0].getWriteIndex();
    const f4 fdnTop (static_cast<float> (fdnLines[0].getSize()) - 3.0f);
    LaneSource fdnLow{ { fdnData[0], fdnData[1], fdnData[2], fdnData[3] },
                       fdnMask,
                       f4 (static_cast<float> (fdnLines[0].getSize())) };
    LaneSource fdnHigh{ { fdnData[4], fdnData[5], fdnData[6], fdnData[7] }, fdnMask, fdnLow.size };

    // Reads of sample n touch no slot that samples before n write in the same run while every
    // modulated delay exceeds the run length plus one; one sample at a time is always safe.
    float shortestDelay = *std::min_element (fdnDelay.begin(), fdnDelay.end()) - std::abs (modDepthSamples) - 1.0f;
    const int readAhead =
        shortestDelay >= 3.0f ? std::min (chunkSize, static_cast<int> (std::min (shortestDelay, 1.0e6f)) - 2) : 1;

    // Chunk buffers, padded so that four-sample vectors may run past the chunk's end.
    alignas (16) float mono[chunkSize + 4], delayed[chunkSize + 4], diffused[chunkSize + 4];
    alignas (16) float earlyL[chunkSize + 4], earlyR[chunkSize + 4];
    alignas (16) float tap[maxTapSlots];
    alignas (16) float o[numLines], feedback[numLines];
    f4 delayLo[chunkSize], delayHi[chunkSize], readLo[chunkSize], readHi[chunkSize];

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
            diffused[n] = x - inputHighpass.processSample (x);
        }

        // Pre-delay: the read of each sample follows its write.
        if (preDelayAhead)
        {
            const int w0 = preDelayLine.getWriteIndex();
            preDelayLine.writeBlock (diffused, count);
            for (int n = 0; n < count; n += 4)
            {
                const Points p = pointsOf (preDelayLine.data(), preDelayLine.getSize(), preDelayLine.getMask(),
                                           w0 + n + 1, f4 (preDelay));
                interpolate (p.ym1, p.y0, p.y1, p.y2, p.t).store_aligned (delayed + n);
            }
        }
        else
        {
            for (int n = 0; n < count; ++n)
            {
                preDelayLine.write (diffused[n]);
                delayed[n] = preDelayLine.readCubic (preDelay);
            }
        }

        // Early reflections, summed in tap order per side.
        const int paddedCount = (count + 3) & ~3;
        std::fill (earlyL, earlyL + paddedCount, 0.0f);
        std::fill (earlyR, earlyR + paddedCount, 0.0f);
        if (tapsAhead)
        {
            const int w0 = earlyLine.getWriteIndex();
            earlyLine.writeBlock (delayed, count);
            const float* data = earlyLine.data();
            const int mask = earlyLine.getMask();
            const int size = earlyLine.getSize();
            for (int j = 0; j < tapCount; ++j)
            {
                float* sum = (j & 1) == 0 ? earlyL : earlyR;
                if (!addSteadyTap (data, size, mask, w0, count, tapDelay[j], tapGain[j], sum))
                    addTap (data, size, mask, w0, count, tapDelay[j], tapGain[j], sum);
            }
        }
        else
        {
            for (int n = 0; n < count; ++n)
            {
                earlyLine.write (delayed[n]);
                const auto earlyWrite = static_cast<float> (earlyLine.getWriteIndex());
                for (int g = 0; g < tapGroups; ++g)
                    (readLanes (early, earlyWrite, f4::load_aligned (tapDelay + 4 * g)) *
                     f4::load_aligned (tapGain + 4 * g))
                        .store_aligned (tap + 4 * g);
                for (int j = 0; j < tapCount; j += 2)
                    earlyL[n] += tap[j];
                for (int j = 1; j < tapCount; j += 2)
                    earlyR[n] += tap[j];
            }
        }

        // Diffusion: no feedback reaches it, so each stage can run over the whole chunk.
        std::copy (delayed, delayed + count, diffused);
        for (int i = 0; i < std::clamp (activeDiffusers, 0, numDiffusers); ++i)
            runStage (diffuserStages[static_cast<std::size_t> (i)], diffused, count);
        for (int i = 0; i < std::clamp (activeCoilStages, 0, numCoilStages); ++i)
            runStage (coilStages[static_cast<std::size_t> (i)], diffused, count);

        // Modulated delays for the whole chunk: the oscillators depend on nothing else.
        for (int n = 0; n < count; ++n)
        {
            phase.low = phase.low + increment.low;
            phase.low = xsimd::select (phase.low >= f4 (1.0f), phase.low - f4 (1.0f), phase.low);
            phase.high = phase.high + increment.high;
            phase.high = xsimd::select (phase.high >= f4 (1.0f), phase.high - f4 (1.0f), phase.high);
            delayLo[n] = clampDelay (sine (phase.low * f4 (6.2831855f)) * depth + baseDelay.low, fdnTop);
            delayHi[n] = clampDelay (sine (phase.high * f4 (6.2831855f)) * depth + baseDelay.high, fdnTop);
        }

        for (int runStart = 0; runStart < count; runStart += readAhead)
        {
            const int runEnd = std::min (count, runStart + readAhead);

            // Feedback reads for the whole run, eight lanes.
            for (int n = runStart; n < runEnd; ++n)
            {
                const auto writePos = static_cast<float> ((fdnWrite + n - runStart) & fdnMask);
                readLo[n] = readLanes (fdnLow, writePos, delayLo[n]);
                readHi[n] = readLanes (fdnHigh, writePos, delayHi[n]);
            }

            for (int n = runStart; n < runEnd; ++n)
            {
                // In-loop damping, Householder mixing summed in index order, and the feedback writes.
                damped.low = (readLo[n] - damped.low) * coef.low + damped.low;
                damped.high = (readHi[n] - damped.high) * coef.high + damped.high;
                damped.low.store_aligned (o);
                damped.high.store_aligned (o + 4);

                const float sum = ((((((o[0] + o[1]) + o[2]) + o[3]) + o[4]) + o[5]) + o[6]) + o[7];
                const f4 e (sum * 0.25f);
                const f4 a (diffused[n]);
                ((damped.low - e) * gain.low + a).store_aligned (feedback);
                ((damped.high - e) * gain.high + a).store_aligned (feedback + 4);
                for (std::size_t k = 0; k < numLines; ++k)
                    fdnData[k][fdnWrite] = feedback[k];
                fdnWrite = (fdnWrite + 1) & fdnMask;

                // Early and output low-passes, gate, width and mix.
                const float eL = earlyLowpassL.processSample (earlyL[n]);
                const float eR = earlyLowpassR.processSample (earlyR[n]);
                const float wL = (o[0] + o[2] - o[4] - o[6]) * 0.35f + earlyLevel * eL;
                const float wR = (o[1] - o[3] + o[5] - o[7]) * 0.35f + earlyLevel * eR;
                float wetL = outputLowpassL.processSample (wL);
                float wetR = outputLowpassR.processSample (wR);

                if (gateOn)
                {
                    const float ax = std::abs (mono[n]);
                    const float r = ax > gateEnvelope ? 0.05f : 0.0008f;
                    gateEnvelope = gateEnvelope + (ax - gateEnvelope) * r;

                    if (gateEnvelope > 0.015f)
                        gateHoldCounter = gateHoldSamples;

                    if (gateHoldCounter > 0.0f)
                    {
                        gateHoldCounter = gateHoldCounter - 1.0f;
                        gateGain = gateGain + (1.0f - gateGain) * 0.08f;
                    }
                    else
                    {
                        gateGain = gateGain * gateReleaseCoef;
                    }

                    wetL = wetL * gateGain;
                    wetR = wetR * gateGain;
                }

                const float w = widthSmoother.getNextValue();
                const float m = mixSmoother.getNextValue();
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

    storeLanes (phase, [this] (std::size_t k, float v) { lfoPhase[k] = v; });
    storeLanes (damped, [this] (std::size_t k, float v) { fdnDamping[k].z1 = v; });
    for (auto& line : fdnLines)
        line.setWriteIndex (fdnWrite);

    // Non-finite guard: a NaN or infinity anywhere drops the sound in flight and silences the block.
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* data = buffer.getReadPointer (ch);
        for (int n = 0; n < numSamples; ++n)
        {
            if (!std::isfinite (data[n]))
            {
                reset();
                buffer.clear();
                return;
            }
        }
    }
}
