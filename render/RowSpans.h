#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The runs of pixels in each row of a picture that a copy has to write: the
// ones that are not the colour key, or the ones text actually covers. Copying
// run by run moves whole stretches at memory speed and never looks at the
// transparent rest again.
class TRowSpans {
public:
    struct TSpan {
        int32_t begin; // first column of the run
        int32_t end;   // column just past it
    };

    template <class Solid>
    void Build(const uint32_t* base, int64_t stride, int32_t width, int32_t height, Solid isSolid) {
        Spans.clear();
        RowStart.assign(size_t(height) + 1, 0);
        for (int32_t y = 0; y < height; ++y) {
            const uint32_t* row = base + y * stride;
            int32_t x = 0;
            while (x < width) {
                while (x < width && !isSolid(row[x])) ++x;
                const int32_t begin = x;
                while (x < width && isSolid(row[x])) ++x;
                if (x > begin) Spans.push_back({begin, x});
            }
            RowStart[size_t(y) + 1] = uint32_t(Spans.size());
        }
    }

    std::span<const TSpan> Row(int32_t y) const {
        return {Spans.data() + RowStart[size_t(y)], Spans.data() + RowStart[size_t(y) + 1]};
    }

private:
    std::vector<TSpan> Spans;
    std::vector<uint32_t> RowStart;
};
