#include "ReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace
{
// The voicing formulas that both the coefficients (single precision) and the tail length (double
// precision) are worked out from.
template <typename T>
T stageGain (T gain) noexcept
{
    return gain < T (0) ? T (0) : std::min (gain, T (0.95));
}

template <typename T>
T diffuserGainOf (const CharacterPreset& c) noexcept
{
    return stageGain (T (c.diffusion));
}

template <typename T>
T coilGainOf (const CharacterPreset& c) noexcept
{
    return stageGain (T (c.coil) * T (0.35) + T (0.55));
}

template <typename T>
T lengthScaleOf (const CharacterPreset& c, T size) noexcept
{
    return (T (1) - T (c.compactness) * T (0.45)) * (T (c.sizeScale) * size);
}

template <typename T>
T dampingCutoffHzOf (const CharacterPreset& c, T damping) noexcept
{
    return std::pow (T (5), T (1) - damping * T (2.4)) * T (c.dampingHz);
}

template <typename T>
T inputHighpassHzOf (const CharacterPreset& c, T lowcut) noexcept
{
    return std::max (T (c.bassCutHz) * T (0.5), lowcut);
}
}

ReverbEngine::ReverbEngine() = default;

int ReverbEngine::msToSamples (float ms, double rate) noexcept
{
    const float samples = ms * 0.001f * static_cast<float> (rate);
    const float rounded = std::round (samples); // halves away from zero
    // Both ends are caught before the conversion, which is undefined outside int's range.
    if (!(rounded >= 1.0f))
        return 1; // NaN and negative values too
    if (!(rounded < static_cast<float> (std::numeric_limits<int>::max())))
        return std::numeric_limits<int>::max();
    return static_cast<int> (rounded);
}

template <typename Fn>
void ReverbEngine::forEachLine (double rate, Fn&& fn)
{
    for (auto& line : fdnLines)
        fn (line, msToSamples (323.038f, rate));

    fn (preDelayLine, msToSamples (300.0f, rate));
    fn (earlyLine, msToSamples (200.0f, rate));

    for (std::size_t k = 0; k < diffuserStages.size(); ++k)
        fn (diffuserStages[k].line, msToSamples (diffuserDelayMs[k], rate) + 4);

    for (std::size_t k = 0; k < coilStages.size(); ++k)
        fn (coilStages[k].line, msToSamples (coilDelayMs[k], rate) + 4);
}

void ReverbEngine::prepare (double newSampleRate)
{
    // Below 1 Hz the rate would reach the single-precision formulas as 0; keep the rate in force.
    const double rate = std::isfinite (newSampleRate) && newSampleRate >= 1.0 ? newSampleRate : sampleRate;

    // All storage for the rate is had before anything changes: when it cannot be (std::bad_alloc,
    // which the caller sees), the engine stays prepared for the rate it had.
    try
    {
        forEachLine (rate, [] (DelayLine& line, int n) { line.reserve (n); });
    }
    catch (...)
    {
        forEachLine (rate, [] (DelayLine& line, int) { line.releaseSpareStorage(); });
        throw;
    }

    sampleRate = rate;
    forEachLine (rate, [] (DelayLine& line, int n) { line.prepare (n); });

    for (std::size_t k = 0; k < diffuserStages.size(); ++k)
        diffuserStages[k].delaySamples = static_cast<float> (msToSamples (diffuserDelayMs[k], rate));
    for (std::size_t k = 0; k < coilStages.size(); ++k)
        coilStages[k].delaySamples = static_cast<float> (msToSamples (coilDelayMs[k], rate));

    mixSmoother.reset (sampleRate, 0.02);
    widthSmoother.reset (sampleRate, 0.02);
    mixSmoother.setCurrentAndTargetValue (params.mix);
    widthSmoother.setCurrentAndTargetValue (params.width);

    setCharacter (currentCharacterIndex);
    reset();
}

void ReverbEngine::reset() noexcept
{
    for (auto& line : fdnLines)
        line.clearSamples();
    for (auto& stage : diffuserStages)
        stage.line.clearSamples();
    for (auto& stage : coilStages)
        stage.line.clearSamples();
    preDelayLine.clearSamples();
    earlyLine.clearSamples();

    for (auto& filter : fdnDamping)
        filter.z1 = 0.0f;
    earlyLowpassL.z1 = 0.0f;
    earlyLowpassR.z1 = 0.0f;
    inputHighpass.z1 = 0.0f;
    outputLowpassL.z1 = 0.0f;
    outputLowpassR.z1 = 0.0f;

    gateGain = 0.0f;
    gateHoldCounter = 0.0f;
    gateEnvelope = 0.0f;

    for (std::size_t i = 0; i < lfoPhase.size(); ++i)
        lfoPhase[i] = static_cast<float> (i) / 8.0f;
}

void ReverbEngine::setCharacter (int index) noexcept
{
    const int idx = std::clamp (index, 0, numCharacters - 1);
    currentCharacterIndex = idx;
    currentCharacter = characterTable[static_cast<std::size_t> (idx)];
    const auto& c = currentCharacter;

    const int diffusers = c.diffusers < 0 ? 0 : std::min (c.diffusers, numDiffusers);
    const int coil = c.coil > 0.0f ? numCoilStages : 0;

    // A stage that joins starts from silence: its line still holds what it played when it last
    // ran, maybe minutes ago. Stages that stay active keep their tails.
    for (int i = std::max (activeDiffusers, 0); i < diffusers; ++i)
        diffuserStages[static_cast<std::size_t> (i)].line.clearSamples();
    for (int i = std::max (activeCoilStages, 0); i < coil; ++i)
        coilStages[static_cast<std::size_t> (i)].line.clearSamples();
    activeDiffusers = diffusers;
    activeCoilStages = coil;

    const float diffuserGain = diffuserGainOf<float> (c);
    for (int i = 0; i < activeDiffusers; ++i)
        diffuserStages[static_cast<std::size_t> (i)].gain = diffuserGain;

    const float coilGain = coilGainOf<float> (c);
    for (int i = 0; i < activeCoilStages; ++i)
        coilStages[static_cast<std::size_t> (i)].gain = coilGain;

    if (c.earlyTaps < 0)
    {
        earlyTapCount = 0;
    }
    else
    {
        const int count = std::min (c.earlyTaps, maxEarlyTaps);
        earlyTapCount = count;

        if (count > 0)
        {
            // 48-bit linear congruential generator, seeded from the character index.
            constexpr std::uint64_t modMask = (std::uint64_t{ 1 } << 48) - 1;
            const auto next = [] (std::uint64_t s) { return (25214903917ull * s + 11ull) & modMask; };

            std::uint64_t s = static_cast<std::uint64_t> (idx * 7919 + 5718448);
            const auto sr = static_cast<float> (sampleRate);
            const float norm = std::sqrt (static_cast<float> (count));

            for (int i = 0; i < count; ++i)
            {
                const float m = static_cast<float> (i + 1) / static_cast<float> (count);

                s = next (s);
                const auto r1 = static_cast<std::uint32_t> (s >> 16);
                const float u = std::min (static_cast<float> (r1) * 0x1p-32f, 0.9999999f);

                s = next (s);
                const float sign = ((s >> 46) & 1u) != 0 ? 1.0f : -1.0f;

                const float delayMs = (m * c.earlySpreadMs * m) * (u * 0.3f + 0.85f) + 1.0f;
                earlyTapDelay[static_cast<std::size_t> (i)] = std::max (1.0f, delayMs * 0.001f * sr);
                earlyTapGain[static_cast<std::size_t> (i)] = std::exp (m * -2.2f) * sign / norm;
            }
        }
    }

    updateCoefficients();
}

namespace
{
bool sameSettings (const EngineParameters& a, const EngineParameters& b) noexcept
{
    return a.mix == b.mix && a.size == b.size && a.decay == b.decay && a.predelay == b.predelay &&
           a.damping == b.damping && a.modulation == b.modulation && a.width == b.width && a.lowcut == b.lowcut &&
           a.highcut == b.highcut;
}

bool sameVoicing (const CharacterPreset& a, const CharacterPreset& b) noexcept
{
    return a.sizeScale == b.sizeScale && a.decayScale == b.decayScale && a.compactness == b.compactness &&
           a.earlyLevel == b.earlyLevel && a.earlySpreadMs == b.earlySpreadMs && a.earlyTaps == b.earlyTaps &&
           a.diffusion == b.diffusion && a.diffusers == b.diffusers && a.modDepthMs == b.modDepthMs &&
           a.modRateHz == b.modRateHz && a.dampingHz == b.dampingHz && a.bassCutHz == b.bassCutHz && a.coil == b.coil &&
           a.gateMs == b.gateMs;
}
}

void ReverbEngine::updateCoefficients() noexcept
{
    // The same inputs give the same coefficients; the smoother targets are already set.
    auto& last = lastCoefficientInputs;
    if (last.valid && last.sampleRate == sampleRate && sameSettings (last.params, params) &&
        sameVoicing (last.character, currentCharacter))
        return;
    last = { params, currentCharacter, sampleRate, true };

    const auto& c = currentCharacter;
    const auto sr = static_cast<float> (sampleRate);

    const float lengthScale = lengthScaleOf (c, params.size);
    const float rt60 = std::max (c.decayScale * params.decay, 0.1f);
    const float dampingCutoff = dampingCutoffHzOf (c, params.damping);

    for (std::size_t i = 0; i < numLines; ++i)
    {
        fdnDelay[i] = std::max (((lengthScale * fdnBaseDelayMs[i]) * 0.001f) * sr, 2.0f);
        const float gain = std::pow (10.0f, ((fdnDelay[i] / sr) * -3.0f) / rt60);
        fdnGain[i] = std::clamp (gain, 0.0f, 0.9995f);
        fdnDamping[i].setCutoff (dampingCutoff, sampleRate);
        lfoIncrement[i] = (static_cast<float> (i) * 0.11f + 0.72f) * c.modRateHz / sr;
    }

    modDepthSamples = ((c.modDepthMs * params.modulation) * 0.001f) * sr;

    inputHighpass.setCutoff (inputHighpassHzOf (c, params.lowcut), sampleRate);
    outputLowpassL.setCutoff (params.highcut, sampleRate);
    outputLowpassR.setCutoff (params.highcut, sampleRate);

    const float earlyCutoff = std::clamp (c.dampingHz * 0.8f, 1200.0f, 12000.0f);
    earlyLowpassL.setCutoff (earlyCutoff, sampleRate);
    earlyLowpassR.setCutoff (earlyCutoff, sampleRate);

    gateHoldSamples = (c.gateMs * 0.001f) * sr;
    gateReleaseCoef = std::exp (-1.0f / (sr * gateReleaseSeconds));

    mixSmoother.setTargetValue (params.mix);
    widthSmoother.setTargetValue (params.width);
}

double ReverbEngine::tailSeconds (const CharacterPreset& c, const EngineParameters& p, double rate) noexcept
{
    const double sr = std::isfinite (rate) && rate >= 1.0 ? rate : 44100.0;
    const double ln1000 = std::log (1000.0); // 60 dB, in nepers of amplitude
    // A cutoff as OnePole holds it.
    const auto cutoff = [sr] (double hz) { return std::clamp (hz, 10.0, 0.49 * sr); };

    const double preDelay = std::clamp (static_cast<double> (p.predelay) * 0.001, 1.0 / sr, 0.25);

    // The early taps feed the output directly, beside the diffusers and the network; the last
    // lies at most 1.15 times the spread (plus 1 ms) behind the pre-delay.
    const double earlyTap = c.earlyTaps > 0 ? (static_cast<double> (c.earlySpreadMs) * 1.15 + 1.0) * 0.001 : 0.0;

    // Allpass stages in series: the slowest stage's own 60 dB fall, plus the time constant of
    // every other one (the mean times of decays in series add up).
    double slowest = 0.0;
    double constants = 0.0;
    const auto addStage = [&slowest, &constants] (float delayMs, double gain)
    {
        if (gain <= 0.0)
            return;
        const double tau = static_cast<double> (delayMs) * 0.001 / -std::log (gain);
        slowest = std::max (slowest, tau);
        constants += tau;
    };
    for (int i = 0; i < std::clamp (c.diffusers, 0, numDiffusers); ++i)
        addStage (diffuserDelayMs[static_cast<std::size_t> (i)], diffuserGainOf<double> (c));
    if (c.coil > 0.0f)
        for (const float ms : coilDelayMs)
            addStage (ms, coilGainOf<double> (c));
    const double diffusers = slowest * ln1000 + (constants - slowest);

    // The network: the first pass through its longest (modulated) line, then the fall of its
    // slowest band. Each band enters as the input high-pass lets it through and falls at the
    // decay's rate plus what the damping low-pass takes from it on every pass, counted over the
    // longest line, which passes least often. Every line is fed the same input, which the mixing
    // inverts on each pass and the two output sums cancel, so below about half the lines' mean
    // circulation rate nothing sounds; the search starts there.
    const double lengthScale = lengthScaleOf (c, static_cast<double> (p.size));
    double longest = 0.0;
    double mean = 0.0;
    for (const float ms : fdnBaseDelayMs)
    {
        const double d = std::max (lengthScale * static_cast<double> (ms) * 0.001, 2.0 / sr);
        longest = std::max (longest, d);
        mean += d / numLines;
    }
    longest += std::abs (static_cast<double> (c.modDepthMs) * static_cast<double> (p.modulation)) * 0.001;

    // |H|^2 of a one-pole low-pass with pole k at angular frequency w; the high-pass is 1 - H.
    const auto pole = [sr] (double hz) { return std::exp (-2.0 * juce::MathConstants<double>::pi * hz / sr); };
    const double highpassPole = pole (cutoff (inputHighpassHzOf (c, static_cast<double> (p.lowcut))));
    const double dampingPole = pole (cutoff (dampingCutoffHzOf (c, static_cast<double> (p.damping))));
    const auto lowpassSquared = [] (double k, double w)
    { return (1.0 - k) * (1.0 - k) / (1.0 - 2.0 * k * std::cos (w) + k * k); };
    const auto highpassSquared = [] (double k, double w)
    { return k * k * (2.0 - 2.0 * std::cos (w)) / (1.0 - 2.0 * k * std::cos (w) + k * k); };

    const double rt60 = std::max (static_cast<double> (c.decayScale) * static_cast<double> (p.decay), 0.1);
    double slowestBand = 0.0;
    for (double hz = 0.5 / mean; hz < 0.5 * sr; hz *= juce::MathConstants<double>::sqrt2) // half octaves
    {
        const double w = 2.0 * juce::MathConstants<double>::pi * hz / sr;
        const double entersDb = 10.0 * std::log10 (highpassSquared (highpassPole, w));
        const double dbPerSecond = 60.0 / rt60 - 10.0 * std::log10 (lowpassSquared (dampingPole, w)) / longest;
        slowestBand = std::max (slowestBand, (60.0 + entersDb) / dbPerSecond);
    }
    const double network = longest + slowestBand;

    double tail = preDelay + std::max (earlyTap, diffusers + network);

    // The gate closes the tail: the input's envelope falls to the threshold, the gate holds, then
    // its release takes the output 60 dB down. The envelope may start from well above full scale
    // (+24 dBFS), which floating-point hosts pass on.
    if (c.gateMs > 0.0f)
    {
        constexpr double loudestInput = 16.0;
        const double fall = std::log (static_cast<double> (gateThreshold) / loudestInput) /
                            std::log (1.0 - static_cast<double> (gateEnvelopeFall)) / sr;
        const double closed =
            fall + static_cast<double> (c.gateMs) * 0.001 + static_cast<double> (gateReleaseSeconds) * ln1000;
        tail = std::min (tail, closed);
    }
    return tail;
}
