#pragma once

#include <cstddef>
#include <vector>

// Power-of-two ring buffer of floats, written one sample at a time and read at a fractional
// delay with four-point (Catmull-Rom) interpolation.
class DelayLine
{
public:
    static constexpr int maxSize = 1 << 30;

    // Sizes the line for at least n samples (at least 4, at most maxSize) and silences it.
    // Storage already large enough is reused. May allocate.
    void prepare (int n);

    // Makes room for prepare (n), after which that call allocates nothing; the line's size and
    // samples stay as they are. May throw std::bad_alloc, leaving the line unchanged.
    void reserve (int n);

    // Gives back storage beyond the line's size, as left by a reserve whose prepare never came.
    void releaseSpareStorage() noexcept;

    void clearSamples() noexcept;

    void write (float x) noexcept
    {
        buffer[static_cast<std::size_t> (writeIndex)] = x;
        writeIndex = (writeIndex + 1) & mask;
    }

    // Writes n samples in order, as n calls of write() would.
    void writeBlock (const float* x, int n) noexcept
    {
        for (int i = 0; i < n; ++i)
            write (x[i]);
    }

    // Delay in writes: the most recent write has delay 1. Clamped to [2, size - 3].
    float readCubic (float delay) const noexcept { return readCubicAt (writeIndex, delay); }

    // The read that readCubic() would give when the next write goes to slot atWriteIndex.
    float readCubicAt (int atWriteIndex, float delay) const noexcept
    {
        const auto size = static_cast<float> (buffer.size());
        // Written so that a NaN delay also lands on the lower clamp.
        const float d = delay >= 2.0f ? (delay < size - 3.0f ? delay : size - 3.0f) : 2.0f;

        float pos = static_cast<float> (atWriteIndex & mask) - d;
        if (pos < 0.0f)
            pos += size;

        const int i = static_cast<int> (pos);
        const float t = pos - static_cast<float> (i);

        const float* b = buffer.data();
        const float ym1 = b[(i - 1) & mask];
        const float y0 = b[i & mask];
        const float y1 = b[(i + 1) & mask];
        const float y2 = b[(i + 2) & mask];

        const float c3 = (y0 - y1) * 1.5f + (y2 - ym1) * 0.5f;
        const float c2 = ((ym1 - y0 * 2.5f) + (y1 + y1)) - y2 * 0.5f;
        const float c1 = (y1 - ym1) * 0.5f;
        return ((c3 * t + c2) * t + c1) * t + y0;
    }

    // Raw access for the engine's block loops, which read whole-sample delays directly.
    float* data() noexcept { return buffer.data(); }
    const float* data() const noexcept { return buffer.data(); }
    void setWriteIndex (int index) noexcept { writeIndex = index & mask; }

    bool isPrepared() const noexcept { return !buffer.empty(); }
    int getSize() const noexcept { return static_cast<int> (buffer.size()); }
    int getMask() const noexcept { return mask; }
    int getWriteIndex() const noexcept { return writeIndex; }
    std::size_t getCapacity() const noexcept { return buffer.capacity(); }

private:
    static std::size_t sizeFor (int n) noexcept;

    std::vector<float> buffer;
    int mask = 0;
    int writeIndex = 0;
};
