#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace enginetest;

namespace
{
struct ImpulseResponse
{
    std::vector<float> left, right;
    double sampleRate;
};

ImpulseResponse renderImpulseResponse (int character, EngineParameters params, double rate, double seconds)
{
    ReverbEngine e;
    params.mix = 1.0f; // wet only
    e.params = params;
    e.setCharacter (character);
    e.prepare (rate);

    const int length = static_cast<int> (seconds * rate);
    juce::AudioBuffer<float> buffer (2, length);
    buffer.clear();
    buffer.setSample (0, 0, 1.0f);
    buffer.setSample (1, 0, 1.0f);
    for (int start = 0; start < length; start += 512) // host-like blocks
    {
        juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), 2, start, std::min (512, length - start));
        e.process (block);
    }
    return { { buffer.getReadPointer (0), buffer.getReadPointer (0) + length },
             { buffer.getReadPointer (1), buffer.getReadPointer (1) + length },
             rate };
}

struct DecayFit
{
    double rt60Seconds = 0.0;
    double r2 = 0.0;
    int points = 0;
};

// Schroeder backward integration of the energy of both channels, with a least-squares line
// through the -5 dB .. -35 dB part of the decay curve.
DecayFit fitDecay (const ImpulseResponse& ir)
{
    const std::size_t n = ir.left.size();
    std::vector<double> edc (n + 1, 0.0);
    for (std::size_t i = n; i-- > 0;)
        edc[i] = edc[i + 1] + static_cast<double> (ir.left[i]) * ir.left[i] +
                 static_cast<double> (ir.right[i]) * ir.right[i];

    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    DecayFit fit;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double db = 10.0 * std::log10 (edc[i] / edc[0]);
        if (db > -5.0 || db < -35.0)
            continue;
        const double t = static_cast<double> (i) / ir.sampleRate;
        sx += t;
        sy += db;
        sxx += t * t;
        sxy += t * db;
        syy += db * db;
        ++fit.points;
    }
    if (fit.points < 2)
        return fit;
    const double k = fit.points;
    const double slope = (k * sxy - sx * sy) / (k * sxx - sx * sx);
    const double r = (k * sxy - sx * sy) / std::sqrt ((k * sxx - sx * sx) * (k * syy - sy * sy));
    fit.rt60Seconds = -60.0 / slope;
    fit.r2 = r * r;
    return fit;
}

double windowEnergy (const std::vector<float>& x, std::size_t start, std::size_t length)
{
    double sum = 0.0;
    for (std::size_t i = start; i < start + length && i < x.size(); ++i)
        sum += static_cast<double> (x[i]) * x[i];
    return sum;
}
}

TEST (ReverbEngineSound, ImpulseResponseDecaysAtTheCharactersReverbTime)
{
    struct Case
    {
        int character;
        float decaySeconds;
        float size;
        double rate;
    };
    // The measured broadband time runs 10 to 20 % short of decayScale x decay: the damping and the
    // interpolated, modulated reads take extra high-frequency energy out of every circulation.
    const Case cases[] = { { 2, 2.0f, 1.0f, 48000.0 },   // Hall, 2.9 s
                           { 4, 2.0f, 1.0f, 48000.0 },   // Room, 0.9 s
                           { 9, 2.0f, 1.0f, 48000.0 },   // Void, 9 s
                           { 1, 1.0f, 0.5f, 44100.0 } }; // Chamber, 1 s, small
    for (const auto& c : cases)
    {
        const auto& preset = characterTable[static_cast<std::size_t> (c.character)];
        SCOPED_TRACE (preset.name);
        EngineParameters p;
        p.decay = c.decaySeconds;
        p.size = c.size;
        const double nominal = preset.decayScale * c.decaySeconds;
        const auto ir = renderImpulseResponse (c.character, p, c.rate, 1.1 * nominal + 0.5);

        for (std::size_t i = 0; i < ir.left.size(); ++i)
            ASSERT_TRUE (std::isfinite (ir.left[i]) && std::isfinite (ir.right[i])) << i;

        const auto fit = fitDecay (ir);
        const double ratio = fit.rt60Seconds / nominal;
        std::cout << "[ sound    ] " << preset.name << " decay " << c.decaySeconds << " s size " << c.size << ": RT60 "
                  << fit.rt60Seconds << " s against " << nominal << " s (ratio " << ratio << ", r2 " << fit.r2 << ")\n";
        EXPECT_GT (fit.points, 1000);
        EXPECT_GT (ratio, 0.75);
        EXPECT_LT (ratio, 1.25);
        EXPECT_GT (fit.r2, 0.98); // an exponential decay, not a beat or a blow-up

        // The tail dies away: the last 100 ms hold far less energy than the 100 ms after onset.
        const auto window = static_cast<std::size_t> (0.1 * c.rate);
        const auto onset = static_cast<std::size_t> (0.025 * c.rate);
        const double early = windowEnergy (ir.left, onset, window) + windowEnergy (ir.right, onset, window);
        const auto lastStart = ir.left.size() - window;
        const double late = windowEnergy (ir.left, lastStart, window) + windowEnergy (ir.right, lastStart, window);
        EXPECT_LT (late, early * 1.0e-4);

        // Stereo: both sides carry the tail, but not the same one.
        const auto tailStart = static_cast<std::size_t> (0.05 * c.rate);
        double ll = 0, rr = 0, lr = 0;
        for (std::size_t i = tailStart; i < ir.left.size(); ++i)
        {
            ll += static_cast<double> (ir.left[i]) * ir.left[i];
            rr += static_cast<double> (ir.right[i]) * ir.right[i];
            lr += static_cast<double> (ir.left[i]) * ir.right[i];
        }
        const double correlation = lr / std::sqrt (ll * rr);
        std::cout << "[ sound    ]   left/right correlation " << correlation << ", balance "
                  << 10.0 * std::log10 (ll / rr) << " dB\n";
        EXPECT_LT (std::abs (correlation), 0.5);
        EXPECT_NEAR (10.0 * std::log10 (ll / rr), 0.0, 3.0);
    }
}

TEST (ReverbEngineSound, ReturningToACharacterReplaysNothingFromBefore)
{
    // Each pair runs different allpass stages: noise in the first, on in the second, a minute of
    // silence, then back to the first. Once the tail has gone, nothing may come back.
    struct Case
    {
        int first, second;
    };
    constexpr int foil = 0, hall = 2, basilica = 3, room = 4, coil = 5, halo = 8;
    const Case cases[]{ { hall, room }, { basilica, coil }, { foil, coil }, { coil, foil }, { halo, room } };

    constexpr double rate = 48000.0;
    const auto play = [] (ReverbEngine& e, double seconds, float amplitude)
    {
        float peak = 0.0f;
        juce::AudioBuffer<float> block (2, 4800);
        for (int n = 0; n < static_cast<int> (seconds * rate); n += block.getNumSamples())
        {
            fillNoise (block, amplitude, static_cast<std::uint32_t> (n + 1));
            e.process (block);
            peak = std::max (peak, block.getMagnitude (0, block.getNumSamples()));
        }
        return peak;
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (characterTable[static_cast<std::size_t> (c.first)].name) + ", " +
                      characterTable[static_cast<std::size_t> (c.second)].name + ", back");
        juce::ScopedNoDenormals noDenormals;
        EngineParameters wetOnly;
        wetOnly.mix = 1.0f;
        auto e = engineAt (rate, c.first, wetOnly);

        ASSERT_GT (play (e, 2.0, 0.5f), 0.01f);
        e.setCharacter (c.second);
        play (e, 1.0, 0.5f);
        play (e, 60.0, 0.0f);
        e.setCharacter (c.first);
        const float peak = play (e, 0.5, 0.0f);
        EXPECT_LT (peak, 1.0e-5f) << juce::Decibels::gainToDecibels (peak) << " dBFS";
    }
}
