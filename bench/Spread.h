#pragma once

#include <algorithm>
#include <vector>

namespace bench {

// The least, the middle and the greatest of a benchmark's rounds.
struct Spread
{
    double min = 0;
    double median = 0;
    double max = 0;
};

// The middle of an even count is the mean of the two middle values; no values give zeros.
inline Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values.front(), n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.back()};
}

} // namespace bench
